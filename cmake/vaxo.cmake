# Shared settings and helpers for every target of the project.

add_library(vaxo_options INTERFACE)
target_include_directories(vaxo_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(vaxo_options INTERFACE -Wall -Wextra -Wswitch-enum -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # g++ 12 reports false positives through std::variant moves and
  # std::string concatenation at -O2 and above.
  target_compile_options(vaxo_options INTERFACE -Wno-maybe-uninitialized -Wno-restrict)
endif()
if(VAXO_WERROR)
  target_compile_options(vaxo_options INTERFACE -Werror)
endif()
if(VAXO_SANITIZE)
  target_compile_options(vaxo_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(vaxo_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
  # Unoptimised, clang's frames under the address sanitizer are too large for
  # 1,000 levels of nesting on an 8 MiB stack; -O1, as the sanitizer advises.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(vaxo_options INTERFACE $<$<CONFIG:Debug>:-O1>)
  endif()
endif()
if(VAXO_FUZZ)
  target_compile_options(vaxo_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
# The parser and the emitter are spread over many sources that call each
# other per node; link-time optimisation inlines across them.
if(VAXO_LTO AND NOT VAXO_SANITIZE AND NOT VAXO_FUZZ)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT vaxo_ipo OUTPUT vaxo_ipo_output)
  if(vaxo_ipo)
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
  else()
    message(STATUS "VAXO_LTO: not supported here; building without it")
  endif()
endif()

# vaxo_stage(NAME SOURCES... [LIBS ...]): the static library vaxo_NAME of one core stage.
function(vaxo_stage name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(vaxo_${name} STATIC ${ARG_SOURCES})
  target_link_libraries(vaxo_${name} PUBLIC vaxo_options ${ARG_LIBS})
  set_property(GLOBAL APPEND PROPERTY VAXO_STAGES vaxo_${name})
endfunction()

# vaxo_test(NAME SOURCES... [LIBS ...]): a GoogleTest executable registered with ctest.
function(vaxo_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE vaxo_options ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE VAXO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "VAXO_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# vaxo_generated_inputs(TARGET SIZE SEED MODE FILE [MODE FILE]...): the target
# TARGET writes each FILE, about SIZE bytes of text of the MODE that
# workload/generate_source.py makes from SEED. Large inputs are generated at
# build time, never committed.
function(vaxo_generated_inputs target size seed)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(gen ${PROJECT_SOURCE_DIR}/workload/generate_source.py)
  set(pairs ${ARGN})
  set(commands)
  set(files)
  while(pairs)
    list(POP_FRONT pairs mode file)
    list(APPEND commands COMMAND Python3::Interpreter ${gen} --mode ${mode} --size ${size} --seed ${seed} -o ${file})
    list(APPEND files ${file})
  endwhile()
  add_custom_command(
    OUTPUT ${files}
    ${commands}
    DEPENDS ${gen}
    COMMENT "Generating ${target}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${files})
endfunction()
