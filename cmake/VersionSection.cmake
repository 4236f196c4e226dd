# Version information for our own programs: after linking, a ".qm_version"
# section is added to the program file.
#   qm_version_section(<target> [TRANSLATIONS LLLL:CCCC...] [STRINGS KEY=VALUE...])
#   qm_version_section(<target> RAW <file>)   the section holds the file's bytes as they are
find_program(QM_OBJCOPY NAMES objcopy REQUIRED)

function(qm_version_section target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "RAW" "TRANSLATIONS;STRINGS")
  if(ARG_RAW)
    set(block ${ARG_RAW})
    set(make_block "")
  else()
    set(block ${CMAKE_CURRENT_BINARY_DIR}/${target}.qm_version)
    set(args "")
    foreach(translation IN LISTS ARG_TRANSLATIONS)
      list(APPEND args --translation ${translation})
    endforeach()
    foreach(string IN LISTS ARG_STRINGS)
      list(APPEND args --string ${string})
    endforeach()
    set(make_block COMMAND qm_version_block ${block} ${args})
    add_dependencies(${target} qm_version_block)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    ${make_block}
    COMMAND ${QM_OBJCOPY} --add-section .qm_version=${block}
            --set-section-flags .qm_version=readonly $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
