# The installed tools: every executable whose file name is ringetch or ringetch-*,
# with its manual page from man/. They are found at the end of the top directory,
# whatever folder defines them and in whatever order, so a tool installs, gets its
# page and its page test the moment its target exists, and nothing else installs.
include(GNUInstallDirs)
find_program(RINGETCH_GZIP gzip REQUIRED)

# Dialogue sources whose commands a tool's page must list, as pairs of source file
# and the page's section or subsection that lists them (tests/man_page_test.sh).
set(ringetch_page_commands_ringetch
    ${CMAKE_SOURCE_DIR}/console/stage_one.cpp "First stage"
    ${CMAKE_SOURCE_DIR}/console/stage_two.cpp "Second stage")
set(ringetch_page_commands_ringetch-refine ${CMAKE_SOURCE_DIR}/refine/reading_prompt.cpp COMMANDS)

# The file name a target's executable gets.
function(ringetch_output_name target result)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    set(${result} ${name} PARENT_SCOPE)
endfunction()

# Appends to `result` the tool targets defined in dir and below.
function(ringetch_find_tools dir result)
    set(found ${${result}})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        ringetch_output_name(${target} name)
        if(type STREQUAL "EXECUTABLE" AND name MATCHES "^ringetch(-[a-z]+)*$")
            list(APPEND found ${target})
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        ringetch_find_tools(${subdir} found)
    endforeach()
    set(${result} ${found} PARENT_SCOPE)
endfunction()

# One tool: its page compressed as Debian ships pages, built with the tool; both
# installed. OPTIONAL: `cmake --install` after building only some tools installs
# those (the set-up command builds ringetch alone).
function(ringetch_install_tool target name)
    set(page ${CMAKE_SOURCE_DIR}/man/${name}.1)
    set(compressed ${CMAKE_BINARY_DIR}/man/${name}.1.gz)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} OPTIONAL)
    if(EXISTS ${page})
        add_custom_command(OUTPUT ${compressed}
            COMMAND ${CMAKE_COMMAND} -E copy ${page} ${CMAKE_BINARY_DIR}/man/${name}.1
            COMMAND ${RINGETCH_GZIP} -9nf ${CMAKE_BINARY_DIR}/man/${name}.1
            DEPENDS ${page}
            COMMENT "Compressing the manual page of ${name}"
            VERBATIM)
        add_custom_target(${name}_man_page DEPENDS ${compressed})
        add_dependencies(${target} ${name}_man_page)
        install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL)
    endif()
    # Registered with or without a page: a tool without one fails its page test.
    if(BUILD_TESTING)
        add_test(NAME ManPage.${name}
            COMMAND bash ${CMAKE_SOURCE_DIR}/tests/man_page_test.sh $<TARGET_FILE:${target}> ${page}
                    ${ringetch_page_commands_${name}})
    endif()
endfunction()

# Runs once the top directory is read: installs the tools found, and gives bench/run
# and the package test their list: target ringetch_tools builds them all, and
# ringetch_tools.txt in the build folder holds one "name path" line per tool.
function(ringetch_install_tools)
    set(tools "")
    ringetch_find_tools(${CMAKE_SOURCE_DIR} tools)
    set(names "")
    set(listing "")
    foreach(target IN LISTS tools)
        ringetch_output_name(${target} name)
        ringetch_install_tool(${target} ${name})
        list(APPEND names ${name})
        string(APPEND listing "${name} $<TARGET_FILE:${target}>\n")
    endforeach()
    add_custom_target(ringetch_tools)
    add_dependencies(ringetch_tools ${tools})
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/ringetch_tools.txt CONTENT "${listing}")
    set_property(GLOBAL PROPERTY ringetch_tool_names ${names})
    message(STATUS "Tools installed with their manual pages: ${names}")
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL ringetch_install_tools)
