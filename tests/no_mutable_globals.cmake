# Fails when the core libraries or tavi-cli's objects hold a variable outside every object: a
# global, a namespace-scope or function-local static, or a thread_local, in a writable section
# (.data, .bss, .tdata, .tbss; .data.rel.ro is read-only once loaded). Every run of an operation
# then keeps its state in its own objects, which is what lets many printers be served at once.
# Only the entries of the list below are allowed, each for the reason given.
#   cmake -DOBJDUMP=objdump -DFILES="a.a|b.o" -P no_mutable_globals.cmake
set(allowed
  # The two access-code lines: built once (a thread-safe local static), then only read.
  "LineFor\\(.*\\)::line_[ab]$"
  # The SIGINT flag, std::atomic: one Ctrl-C cancels every exchange of the process.
  "::g_interrupted$"
  # Command-line parsing, on the main thread before anything runs: the port-kind names (a local
  # static const) and CLI11's validator objects.
  "ParseArguments\\(.*\\)::kPortKinds$"
  "^CLI::"
  # The standard library's stream initialiser and the exception personality reference.
  "^std::__ioinit$"
  "DW\\.ref\\."
)

set(found "")
string(REPLACE "|" ";" FILES "${FILES}")
foreach(file ${FILES})
  execute_process(COMMAND ${OBJDUMP} -t -C ${file} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -t ${file} failed")
  endif()
  # Brackets and semicolons in names would change how CMake splits the list.
  string(REGEX REPLACE "[][;]" "_" table "${table}")
  string(REPLACE "\n" ";" lines "${table}")
  foreach(line ${lines})
    # "<value> <7 flag characters> <section>\t<size> <name>"; objects only (flag O; thread-local
    # ones carry no type flag, section symbols carry d).
    if(NOT line MATCHES "^[0-9a-f]+ (.......) ([^\t ]+)\t[0-9a-f]+ +(.*)$")
      continue()
    endif()
    set(flags "${CMAKE_MATCH_1}")
    set(section "${CMAKE_MATCH_2}")
    set(name "${CMAKE_MATCH_3}")
    if(NOT section MATCHES "^\\.(bss|data|tbss|tdata)" OR section MATCHES "^\\.data\\.rel\\.ro")
      continue()
    endif()
    if(NOT flags MATCHES "O$" AND (NOT section MATCHES "^\\.t(bss|data)" OR flags MATCHES "d"))
      continue()
    endif()
    string(REGEX REPLACE "^guard variable for " "" name "${name}")
    string(REGEX REPLACE "^\\.hidden " "" name "${name}")
    set(ok FALSE)
    foreach(pattern ${allowed})
      if(name MATCHES "${pattern}")
        set(ok TRUE)
      endif()
    endforeach()
    if(NOT ok)
      get_filename_component(base ${file} NAME)
      string(APPEND found "  ${base}: ${section} ${name}\n")
    endif()
  endforeach()
endforeach()

if(found)
  message(FATAL_ERROR "Writable variables outside any object:\n${found}")
endif()
list(LENGTH FILES count)
message(STATUS "${count} files: no writable variable outside the allowed ones")
