# Checks that every #include of the program's own headers runs down the
# layer order, never up:
#   text, platform < core < db < library < play < filler < desk < app < cli, gui
# Folders on one level do not include each other. The one exception: the
# window logic's .cpp files (desk/) carry commands out on the whole App, so
# they may include app/app.h; desk's headers may not. Run as
#   cmake -DROOT=<source folder> -P include_order.cmake
# It fails naming each include that runs the wrong way.
set(levels "text platform" core db library play filler desk app "cli gui")

set(rank 0)
foreach(level IN LISTS levels)
  string(REPLACE " " ";" folders "${level}")
  foreach(folder IN LISTS folders)
    set(rank_${folder} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

set(wrong "")
foreach(folder text platform core db library play filler desk app cli gui)
  if(folder STREQUAL "gui")
    set(base "${ROOT}/gui")
  else()
    set(base "${ROOT}/src/${folder}")
  endif()
  file(GLOB files "${base}/*.h" "${base}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "\"([a-z_]+)/[^\"]+\"")
        continue()
      endif()
      set(target "${CMAKE_MATCH_1}")
      if(NOT DEFINED rank_${target} OR target STREQUAL folder)
        continue()
      endif()
      if(folder STREQUAL "desk" AND file MATCHES "\\.cpp$" AND line MATCHES "\"app/app\\.h\"")
        continue()
      endif()
      if(rank_${target} GREATER_EQUAL rank_${folder})
        file(RELATIVE_PATH shown "${ROOT}" "${file}")
        string(STRIP "${line}" line)
        list(APPEND wrong "${shown}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(wrong)
  list(LENGTH wrong count)
  list(JOIN wrong "\n  " listed)
  message(FATAL_ERROR "${count} include(s) run up the layer order\n"
                      "(text, platform < core < db < library < play < filler < desk < app < cli, gui):\n  ${listed}")
endif()
