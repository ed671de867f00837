# Profile-guided optimisation of the core's stage libraries (GCC only).
#
# With VAXO_PGO, a nested build of this same project under pgo-train/ compiles
# the stages with instrumentation, links workload/compile_once against them and
# runs it over generated scripts and templates; the profile it leaves steers
# this build's inlining, block layout and hot/cold splitting. The parser and the
# emitter are branchy tree code whose layout the compiler cannot guess well.
#
# Profile files are named after the object's path below each build's own
# directory (-fprofile-prefix-path), so the two builds' objects match up.
# A missing or stale profile only loses the gain: the build never fails on it.
#
# VAXO_PGO_TRAIN (internal) is the profile directory of the nested build.

# The nested build installs nothing: where its install prefix points does not
# matter, and the newer behaviour silences the warning.
if(POLICY CMP0225)
  cmake_policy(SET CMP0225 NEW)
endif()

set(VAXO_PGO_TRAIN "" CACHE PATH "Profile directory of a training build (set by VAXO_PGO)")
mark_as_advanced(VAXO_PGO_TRAIN)

# vaxo_pgo_training_run(DRIVER): in the nested build, the run of DRIVER that
# leaves the profile. Every script form, the recovery paths, templates and
# realistic programs that compile clean, each a few times so that the counts
# are not dominated by start-up.
function(vaxo_pgo_training_run driver)
  target_link_options(${driver} PRIVATE -fprofile-generate=${VAXO_PGO_TRAIN})
  set(grammar ${CMAKE_CURRENT_BINARY_DIR}/pgo_grammar.src)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/pgo_script.src)
  set(template ${CMAKE_CURRENT_BINARY_DIR}/pgo_template.tpl)
  set(program ${CMAKE_CURRENT_BINARY_DIR}/pgo_program.src)
  vaxo_generated_inputs(vaxo_pgo_inputs 400000 7 grammar ${grammar} script ${script} template ${template}
    program ${program})
  set(stamp ${VAXO_PGO_TRAIN}/profile.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${VAXO_PGO_TRAIN}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VAXO_PGO_TRAIN}
    COMMAND ${driver} script ${grammar} 3
    COMMAND ${driver} script ${script} 3
    COMMAND ${driver} template ${template} 3
    COMMAND ${driver} script ${program} 3
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${driver} ${grammar} ${script} ${template} ${program}
    COMMENT "Training run for profile-guided optimisation"
    VERBATIM)
  add_custom_target(vaxo_pgo_profile ALL DEPENDS ${stamp})
  add_dependencies(vaxo_pgo_profile vaxo_pgo_inputs)
endfunction()

function(vaxo_pgo_setup)
  get_property(stages GLOBAL PROPERTY VAXO_STAGES)

  if(VAXO_PGO_TRAIN)
    foreach(stage IN LISTS stages)
      target_compile_options(${stage} PRIVATE -fprofile-generate=${VAXO_PGO_TRAIN} -fprofile-update=single
        -fprofile-prefix-path=${PROJECT_BINARY_DIR})
    endforeach()
    return()
  endif()

  if(NOT VAXO_PGO)
    return()
  endif()
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR VAXO_SANITIZE OR VAXO_FUZZ)
    message(STATUS "VAXO_PGO: needs GCC and a build without sanitizers; building without a profile")
    return()
  endif()

  find_package(Python3 COMPONENTS Interpreter)
  if(NOT Python3_Interpreter_FOUND)
    message(STATUS "VAXO_PGO: no Python interpreter to generate the training inputs; building without a profile")
    return()
  endif()
  include(ExternalProject)
  set(profile ${CMAKE_BINARY_DIR}/pgo-profile)
  set(train_dir ${CMAKE_BINARY_DIR}/pgo-train)
  ExternalProject_Add(vaxo_pgo_train_build
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${train_dir}
    CMAKE_ARGS
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
      -DCMAKE_MAKE_PROGRAM=${CMAKE_MAKE_PROGRAM}
      -DPython3_EXECUTABLE=${Python3_EXECUTABLE}
      -DVAXO_PGO_TRAIN=${profile}
      -DVAXO_PGO=OFF -DVAXO_TESTS=OFF -DVAXO_PYTHON=OFF -DVAXO_BENCH=OFF -DVAXO_FUZZ=OFF -DVAXO_SANITIZE=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${train_dir} --target vaxo_pgo_profile
    BUILD_BYPRODUCTS ${profile}/profile.stamp
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    EXCLUDE_FROM_ALL ON)

  foreach(stage IN LISTS stages)
    add_dependencies(${stage} vaxo_pgo_train_build)
    target_compile_options(${stage} PRIVATE -fprofile-use=${profile} -fprofile-prefix-path=${PROJECT_BINARY_DIR}
      -fprofile-partial-training -Wno-missing-profile -Wno-coverage-mismatch)
    # A new profile rebuilds the objects it steers.
    get_target_property(sources ${stage} SOURCES)
    get_target_property(source_dir ${stage} SOURCE_DIR)
    foreach(source IN LISTS sources)
      set_property(SOURCE ${source} DIRECTORY ${source_dir} APPEND PROPERTY OBJECT_DEPENDS ${profile}/profile.stamp)
    endforeach()
  endforeach()
endfunction()
