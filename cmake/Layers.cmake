# The layers of the program and the includes each may make. A layer includes its own files and
# those of the layers it names here, and of the layers those name, down to core; an include that
# reaches up or sideways fails the build, naming the file, the line and the forbidden edge.
#
# Included from the top CMakeLists.txt it declares the check (ger_layers), which every target of
# the build waits for; run with `cmake -DGER_SOURCE_DIR=<repository> -P Layers.cmake` it checks.
#
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()

# Each entry: the layer, its folders or files (relative to the repository; the longest match
# names a file's layer), and the layers it may include.
set(GER_LAYERS
  "core     : host/core                                    :"
  "data     : host/data                                    : core"
  "record   : host/record                                  : data"
  "db       : host/db                                      : data"
  "net      : host/net                                     : data"
  "report   : host/report                                  : data"
  "ui       : host/ui                                      : report"
  "module   : host/module                                  : ui"
  "routines : host/routines                                : db net ui"
  "forms    : host/forms                                   : routines module"
  "contract : contract                                     : net record"
  "launcher : server/launcher.h server/launcher.cpp server/paths.h server/nginx_front.h server/nginx_front.cpp :"
  "server   : server                                       : db contract launcher"
  "package  : Ger00200 Ger00201 Ger00202 Pkg_Ger00200      : forms contract"
  "scenario : shell/scenario                                 : routines module launcher"
  "qtshell  : shell/qt                                       : scenario")
# Where an include's name is looked for after the including file's own folder: the include roots
# the targets use (the host's layers, the repository for the module and the contract, the server's
# and the shells' own folders).
set(GER_LAYER_ROOTS host . server shell/scenario shell/qt)

# Parses the table into GER_LAYER_NAMES, GER_LAYER_PATHS_<layer> and GER_LAYER_BELOW_<layer>.
macro(ger_layers_read)
  set(GER_LAYER_NAMES)
  foreach(entry IN LISTS GER_LAYERS)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 paths)
    list(GET parts 2 below)
    string(STRIP "${name}" name)
    separate_arguments(paths UNIX_COMMAND "${paths}")
    separate_arguments(below UNIX_COMMAND "${below}")
    list(APPEND GER_LAYER_NAMES ${name})
    set(GER_LAYER_PATHS_${name} ${paths})
    set(GER_LAYER_BELOW_${name} ${below})
  endforeach()
endmacro()

# The files of every layer (sources and headers).
function(ger_layers_files root out)
  ger_layers_read()
  set(files)
  foreach(name IN LISTS GER_LAYER_NAMES)
    foreach(p IN LISTS GER_LAYER_PATHS_${name})
      if(IS_DIRECTORY ${root}/${p})
        file(GLOB_RECURSE found ${ARGN} ${root}/${p}/*.h ${root}/${p}/*.cpp)
        list(APPEND files ${found})
      else()
        list(APPEND files ${root}/${p})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES files)
  set(${out} ${files} PARENT_SCOPE)
endfunction()

if(NOT CMAKE_SCRIPT_MODE_FILE)
  # The check runs again whenever a checked file, a file of a layer or this table changes.
  ger_layers_files(${PROJECT_SOURCE_DIR} ger_layer_files CONFIGURE_DEPENDS)
  set(stamp ${CMAKE_BINARY_DIR}/layers.checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DGER_SOURCE_DIR=${PROJECT_SOURCE_DIR}
            -P ${CMAKE_CURRENT_LIST_FILE}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${ger_layer_files} ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Checking the includes against the layers (cmake/Layers.cmake)"
    VERBATIM)
  add_custom_target(ger_layers ALL DEPENDS ${stamp})

  # Every target of the build waits for the check, so that a forbidden include fails whatever is
  # built. Called at the end of the top CMakeLists.txt.
  function(ger_layers_guard dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t IN LISTS targets)
      get_target_property(type ${t} TYPE)
      if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
        add_dependencies(${t} ger_layers)
      endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(sub IN LISTS subdirs)
      ger_layers_guard(${sub})
    endforeach()
  endfunction()
  return()
endif()

# --- The check (script mode) ---
ger_layers_read()
set(root ${GER_SOURCE_DIR})

# The layer of a path relative to the repository: the entry with the longest matching path.
function(ger_layer_of rel out)
  set(best "")
  set(bestLength 0)
  foreach(name IN LISTS GER_LAYER_NAMES)
    foreach(p IN LISTS GER_LAYER_PATHS_${name})
      string(LENGTH "${p}" n)
      string(FIND "${rel}" "${p}/" at)
      if((at EQUAL 0 OR rel STREQUAL p) AND n GREATER bestLength)
        set(best ${name})
        set(bestLength ${n})
      endif()
    endforeach()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

# What each layer may include: itself and everything below it.
foreach(name IN LISTS GER_LAYER_NAMES)
  set(reach ${GER_LAYER_BELOW_${name}})
  set(i 0)
  list(LENGTH reach n)
  while(i LESS n)
    list(GET reach ${i} below)
    if(NOT below IN_LIST GER_LAYER_NAMES)
      message(FATAL_ERROR "cmake/Layers.cmake: layer ${name} names an unknown layer ${below}")
    endif()
    foreach(b IN LISTS GER_LAYER_BELOW_${below})
      if(NOT b IN_LIST reach)
        list(APPEND reach ${b})
      endif()
    endforeach()
    math(EXPR i "${i} + 1")
    list(LENGTH reach n)
  endwhile()
  if(name IN_LIST reach)
    message(FATAL_ERROR "cmake/Layers.cmake: layer ${name} reaches itself through ${reach}")
  endif()
  set(reach_${name} ${name} ${reach})
endforeach()

ger_layers_files(${root} files)
set(errors "")
foreach(file IN LISTS files)
  file(RELATIVE_PATH rel ${root} ${file})
  ger_layer_of(${rel} from)
  get_filename_component(here ${file} DIRECTORY)
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
  foreach(line IN LISTS includes)
    string(REGEX MATCH "[\"<]([^\">]+)[\">]" spelt "${line}")
    set(name ${CMAKE_MATCH_1})
    # Resolved as the compiler would: a quoted name first beside the file, then on the roots.
    set(target "")
    set(candidates)
    if(line MATCHES "\"")
      list(APPEND candidates ${here}/${name})
    endif()
    foreach(r IN LISTS GER_LAYER_ROOTS)
      list(APPEND candidates ${root}/${r}/${name})
    endforeach()
    foreach(c IN LISTS candidates)
      if(EXISTS ${c} AND NOT IS_DIRECTORY ${c})
        set(target ${c})
        break()
      endif()
    endforeach()
    if(NOT target)
      continue()  # a system or generated header
    endif()
    file(REAL_PATH ${target} target)
    file(RELATIVE_PATH to ${root} ${target})
    ger_layer_of(${to} onto)
    if(onto AND onto IN_LIST reach_${from})
      continue()
    endif()
    # The line number, for the message.
    file(READ ${file} text)
    string(FIND "${text}" "${line}" at)
    string(SUBSTRING "${text}" 0 ${at} before)
    string(REGEX MATCHALL "\n" breaks "${before}")
    list(LENGTH breaks lineNo)
    math(EXPR lineNo "${lineNo} + 1")
    if(NOT onto)
      set(onto "no layer (${to})")
    endif()
    list(JOIN GER_LAYER_BELOW_${from} " " below)
    if(NOT below)
      set(below "nothing")
    endif()
    string(APPEND errors
           "${rel}:${lineNo}: error: #include ${spelt} is an edge ${from} -> ${onto}, which "
           "the layers do not allow (${from} may include ${below}, and what those may include)\n")
  endforeach()
endforeach()

if(errors)
  # Plain lines (file:line: error: ...), as the compiler writes them, for editors to follow.
  message(NOTICE "${errors}")
  message(FATAL_ERROR "includes across the layers; the table of the layers is cmake/Layers.cmake")
endif()
