# The Debian package: `cpack -G DEB` in a build folder (or the package workflow
# preset) packs what `cmake --install` installs, under /usr, with the package
# dependencies that dpkg-shlibdeps finds for the libraries the tools link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ringetch)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_CONTACT "ringetch maintainers <ringetch@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "write CD-DA images that show a picture on a burned CD-R")
set(CPACK_PACKAGE_DESCRIPTION
    "ringetch writes raw CD-DA audio images which, burned as an audio track onto an
ordinary CD-R with an ordinary burner, show a visible pattern on the recorded
side. The ringetch calibrator finds how many audio bytes one turn of the disc's
spiral holds, one burned test image at a time. Its companion tools preview an
image before burning it (ringetch-preview), draw a picture of your own with the
calibrated geometry (ringetch-picture), and refine the geometry for pictures
(ringetch-refine).")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The package test: builds the package from this build folder and checks the
# installed tree, the package's files, fields and dependencies, and that its
# ringetch runs (tests/package_test.sh), for the tools that ringetch_tool() named.
if(BUILD_TESTING)
    add_test(NAME Package.deb
        COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package_test.sh ${PROJECT_BINARY_DIR}
                "$<TARGET_PROPERTY:ringetch_tools,RINGETCH_TOOL_NAMES>"
        COMMAND_EXPAND_LISTS)
    # Label host: dpkg and dpkg-shlibdeps judge the build machine's own architecture,
    # so the cross-arm64 run leaves this test out.
    set_tests_properties(Package.deb PROPERTIES LABELS host)
endif()
