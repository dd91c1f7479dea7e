# Links a program with its toolchain's own default linker script, changed in
# one place: the functions listed in a file (scripts/code-order writes it)
# come first inside .text, ahead of the rest of the code.
#
# The list is included into the one .text section rather than given a
# section of its own, so that debuggers and profilers that expect a single
# .text still find the line information of every function.

function(kel_link_in_code_order target list)
  set(probe_dir ${CMAKE_CURRENT_BINARY_DIR}/code_order)
  file(MAKE_DIRECTORY ${probe_dir})
  file(WRITE ${probe_dir}/probe.cpp "int main() { return 0; }\n")
  # The linker prints the script it uses between two rules of '=' signs; a
  # link of an empty program with this build's options gives exactly it.
  separate_arguments(link_flags UNIX_COMMAND "${CMAKE_EXE_LINKER_FLAGS}")
  execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} ${probe_dir}/probe.cpp ${link_flags} -no-pie -Wl,--verbose -o ${probe_dir}/probe
    OUTPUT_VARIABLE output ERROR_QUIET RESULT_VARIABLE result)
  set(rule "==================================================")
  string(FIND "${output}" "${rule}\n" begin)
  string(FIND "${output}" "\n${rule}" end REVERSE)
  set(text_section "\n  .text           :\n  {\n")
  if(NOT result EQUAL 0 OR begin EQUAL -1 OR end LESS_EQUAL begin)
    message(STATUS "Code order: the linker shows no default script; code keeps the compiler's order")
    return()
  endif()
  string(LENGTH "${rule}\n" rule_length)
  math(EXPR begin "${begin} + ${rule_length}")
  math(EXPR length "${end} - ${begin}")
  string(SUBSTRING "${output}" ${begin} ${length} script)
  string(FIND "${script}" "${text_section}" at)
  if(at EQUAL -1)
    message(STATUS "Code order: the default script has no .text section as expected; code keeps the compiler's order")
    return()
  endif()
  string(REPLACE "${text_section}" "${text_section}    INCLUDE \"${list}\"\n" script "${script}")
  set(generated ${probe_dir}/${target}.ld)
  file(WRITE ${generated} "${script}\n")
  target_link_options(${target} PRIVATE -Wl,-T,${generated})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${list})
endfunction()
