# Prints every figure the reliability tests recorded, grouped by figure name.
# usage: cmake -DFIGURES=<file> -P PrintFigures.cmake
if(NOT EXISTS "${FIGURES}")
  message("reliability figures: none recorded (${FIGURES})")
  return()
endif()
file(STRINGS "${FIGURES}" lines REGEX "^figure: ")
list(LENGTH lines count)
list(SORT lines)
message("reliability figures (${count} lines):")
foreach(line IN LISTS lines)
  message("  ${line}")
endforeach()
