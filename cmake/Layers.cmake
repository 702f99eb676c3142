# One library per folder, each linking only the layers below it:
#
#   common <- model <- storage <- scan <- export <- ui <- app
#                                   \        \
#                                    `--------`-- cli (quarlo-check)
#
# A layer compiles against an include folder that holds links to its own
# folder and the folders below it and nothing else, so an include that runs
# up a layer fails to build.
set(QUARLO_VIEW_common  common)
set(QUARLO_VIEW_model   ${QUARLO_VIEW_common} model)
set(QUARLO_VIEW_storage ${QUARLO_VIEW_model} storage)
set(QUARLO_VIEW_scan    ${QUARLO_VIEW_storage} scan)
set(QUARLO_VIEW_export  ${QUARLO_VIEW_scan} export)
set(QUARLO_VIEW_ui      ${QUARLO_VIEW_export} ui)
set(QUARLO_VIEW_app     ${QUARLO_VIEW_ui} app)
set(QUARLO_VIEW_cli     ${QUARLO_VIEW_export} cli)
# Tests, tools and benchmarks see everything.
set(QUARLO_VIEW_all     ${QUARLO_VIEW_app} cli)

# Gives target the include folder of a view (one of the lists above).
function(quarlo_view target view)
  set(dir ${CMAKE_BINARY_DIR}/layers/${view})
  foreach(folder IN LISTS QUARLO_VIEW_${view})
    if(NOT EXISTS ${dir}/${folder})
      file(MAKE_DIRECTORY ${dir})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${dir}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PRIVATE ${dir})
endfunction()

# quarlo_layer(name [LAYER view] LINKS targets... SOURCES files...): the
# library quarlo_<name> of the sources in this folder.
function(quarlo_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "LAYER" "LINKS;SOURCES")
  if(NOT arg_LAYER)
    set(arg_LAYER ${name})
  endif()
  add_library(quarlo_${name} STATIC ${arg_SOURCES})
  quarlo_view(quarlo_${name} ${arg_LAYER})
  target_link_libraries(quarlo_${name} PUBLIC ${arg_LINKS})
endfunction()

