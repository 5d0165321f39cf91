# The core: every source of the program but main and the curses primitives, so that the unit
# tests, the fuzz targets and the benchmarks can link an in-memory terminal in their place.
# Included by the build and by the fuzz targets' build, with TOLM_SOURCE_ROOT set.
set(TOLM_CORE_SOURCES
  src/edit/changes.cpp
  src/edit/entry.cpp
  src/edit/save.cpp
  src/editor/loop.cpp
  src/editor/startup.cpp
  src/editor/state.cpp
  src/file/file.cpp
  src/prompt/draw.cpp
  src/prompt/find.cpp
  src/prompt/find_match.cpp
  src/prompt/find_scan.cpp
  src/prompt/jump.cpp
  src/screen/screen.cpp
  src/term/signals.cpp
  src/term/term.cpp)
list(TRANSFORM TOLM_CORE_SOURCES PREPEND ${TOLM_SOURCE_ROOT}/)
