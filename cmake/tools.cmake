# The installed tools. Each tool's own CMakeLists.txt calls ringetch_tool() beside
# its add_executable: the tool is installed with its manual page from man/, the page
# is tested against it, and it joins target ringetch_tools, which builds them all and
# writes ringetch_tools.txt in the build folder (one "name path" line per tool) for
# bench/run and the package test.
include(GNUInstallDirs)
find_program(RINGETCH_GZIP gzip REQUIRED)

add_custom_target(ringetch_tools)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/ringetch_tools.txt
    CONTENT "$<JOIN:$<TARGET_GENEX_EVAL:ringetch_tools,$<TARGET_PROPERTY:ringetch_tools,RINGETCH_LISTING>>,\n>\n")

# The command that runs a built tool on this machine: the tool itself or, in a cross
# build, a script that runs it under CMAKE_CROSSCOMPILING_EMULATOR, so that the tests
# and their shell scripts start it as they would start the tool.
function(ringetch_runnable target result)
    if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
        set(${result} $<TARGET_FILE:${target}> PARENT_SCOPE)
        return()
    endif()
    set(script ${CMAKE_BINARY_DIR}/emulated/${target})
    get_property(written GLOBAL PROPERTY ringetch_emulated_${target})
    if(NOT written)
        list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
        file(GENERATE OUTPUT ${script}
            CONTENT "#!/bin/sh\nexec ${emulator} $<TARGET_FILE:${target}> \"$@\"\n"
            FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        set_property(GLOBAL PROPERTY ringetch_emulated_${target} TRUE)
    endif()
    set(${result} ${script} PARENT_SCOPE)
endfunction()

# ringetch_tool(target [COMMANDS source title ...]): target is an installed tool. Its
# page, compressed as Debian ships pages, is built with it and both are installed
# (OPTIONAL: `cmake --install` after building only some tools installs those; the
# set-up command builds ringetch alone). Each COMMANDS pair names a dialogue source
# whose commands the page must list, and the page's section or subsection that lists
# them (tests/man_page_test.sh).
function(ringetch_tool target)
    cmake_parse_arguments(PARSE_ARGV 1 tool "" "" COMMANDS)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    set(page ${PROJECT_SOURCE_DIR}/man/${name}.1)
    set(compressed ${PROJECT_BINARY_DIR}/man/${name}.1.gz)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} OPTIONAL)
    if(EXISTS ${page})
        add_custom_command(OUTPUT ${compressed}
            COMMAND ${CMAKE_COMMAND} -E copy ${page} ${PROJECT_BINARY_DIR}/man/${name}.1
            COMMAND ${RINGETCH_GZIP} -9nf ${PROJECT_BINARY_DIR}/man/${name}.1
            DEPENDS ${page}
            COMMENT "Compressing the manual page of ${name}"
            VERBATIM)
        add_custom_target(${name}_man_page DEPENDS ${compressed})
        add_dependencies(${target} ${name}_man_page)
        install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL)
    endif()
    # Registered with or without a page: a tool without one fails its page test.
    if(BUILD_TESTING)
        ringetch_runnable(${target} runnable)
        add_test(NAME ManPage.${name}
            COMMAND bash ${PROJECT_SOURCE_DIR}/tests/man_page_test.sh ${runnable} ${page} ${tool_COMMANDS})
    endif()
    add_dependencies(ringetch_tools ${target})
    set_property(TARGET ringetch_tools APPEND PROPERTY RINGETCH_TOOL_NAMES ${name})
    set_property(TARGET ringetch_tools APPEND PROPERTY RINGETCH_LISTING "${name} $<TARGET_FILE:${target}>")
endfunction()
