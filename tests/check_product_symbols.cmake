# Fails when a simulator symbol is linked into a program that ships to users: the sign
# emulator, the sign's window or view, the simulated clock and devices, the scripted
# window, or hooks that keep a sign drawn.
execute_process(COMMAND ${NM} -C ${PROGRAM} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} -C ${PROGRAM} failed")
endif()
string(REGEX MATCHALL "[^\n]*(sim::|Sign(View|Window|Emulator|Display|Columns)|SimClock|SimIoWarrior|SimIte8705|ScriptedWindow|keep_drawing|dispatch_while_sleeping|real_deadline)[^\n]*" leaks "${symbols}")
list(LENGTH leaks count)
if(count GREATER 0)
  list(SUBLIST leaks 0 10 first)
  list(JOIN first "\n" shown)
  message(FATAL_ERROR "${PROGRAM} contains ${count} simulator symbols, e.g.:\n${shown}")
endif()
string(LENGTH "${symbols}" size)
if(size LESS 1000)
  message(FATAL_ERROR "${NM} -C ${PROGRAM} listed almost no symbols: a stripped program proves nothing")
endif()
