cmake_minimum_required(VERSION 3.25)
# Compiles one include with a layer's include path and definitions, as the layer's own
# sources see it: OWN (a header of the layer) must compile, FOREIGN (a header of a layer it
# may not use) must not. Run by ctest with -DCXX=... -DINCLUDES=a|b -DDEFINES=X|Y=1 -DOWN=...
# -DFOREIGN=... -DWORK=...
string(REPLACE "|" ";" dirs "${INCLUDES}")
string(REPLACE "|" ";" defines "${DEFINES}")
# Position-independent, as Qt's headers demand of the window's sources.
set(flags -std=c++20 -fsyntax-only -fPIC)
foreach(dir ${dirs})
  list(APPEND flags "-I${dir}")
endforeach()
foreach(define ${defines})
  list(APPEND flags "-D${define}")
endforeach()
file(MAKE_DIRECTORY ${WORK})
foreach(kind OWN FOREIGN)
  file(WRITE ${WORK}/${kind}.cpp "#include \"${${kind}}\"\n")
  execute_process(COMMAND ${CXX} ${flags} ${WORK}/${kind}.cpp RESULT_VARIABLE status
                  OUTPUT_QUIET ERROR_VARIABLE errors)
  if(kind STREQUAL "OWN" AND NOT status EQUAL 0)
    message(FATAL_ERROR "${OWN} does not compile with the layer's include path:\n${errors}")
  endif()
  if(kind STREQUAL "FOREIGN" AND status EQUAL 0)
    message(FATAL_ERROR "${FOREIGN} compiles with the layer's include path")
  endif()
endforeach()
