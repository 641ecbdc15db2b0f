# OpenCV for the scan reader. Debian ships OpenCV's own package configuration only
# with its whole-library package; the per-module -dev packages the reader needs
# (core, imgproc, imgcodecs) bring headers and libraries alone. So the configuration
# is used where it is installed, and otherwise the modules are found here, for the
# target architecture (the multiarch folders of a cross build included).
find_package(OpenCV CONFIG QUIET COMPONENTS ${OpenCV_FIND_COMPONENTS})
if(OpenCV_FOUND)
    return()
endif()

find_path(OpenCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
# The configured headers (cvconfig.h) lie in the architecture's own folder.
find_path(OpenCV_ARCH_INCLUDE_DIR opencv2/cvconfig.h PATH_SUFFIXES opencv4)
set(OpenCV_INCLUDE_DIRS ${OpenCV_INCLUDE_DIR} ${OpenCV_ARCH_INCLUDE_DIR})
set(OpenCV_LIBS)
set(opencv_required OpenCV_INCLUDE_DIR OpenCV_ARCH_INCLUDE_DIR)
foreach(component IN LISTS OpenCV_FIND_COMPONENTS)
    find_library(OpenCV_${component}_LIBRARY opencv_${component})
    list(APPEND opencv_required OpenCV_${component}_LIBRARY)
    if(OpenCV_${component}_LIBRARY AND NOT TARGET opencv_${component})
        add_library(opencv_${component} UNKNOWN IMPORTED)
        set_target_properties(opencv_${component} PROPERTIES
            IMPORTED_LOCATION ${OpenCV_${component}_LIBRARY}
            INTERFACE_INCLUDE_DIRECTORIES "${OpenCV_INCLUDE_DIRS}")
    endif()
    list(APPEND OpenCV_LIBS opencv_${component})
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCV REQUIRED_VARS ${opencv_required})
