# Native build: the unit tests of the core and, with QUORRIN_FUZZ, its libFuzzer
# targets. Whole-program figures are measured by the scripts under bench/.
# The sanitizers instrument the core library too (it is defined before this
# file is included, so the directory-wide options do not reach it).
option(QUORRIN_SANITIZE "address+undefined or thread" "")
if(QUORRIN_SANITIZE STREQUAL "address")
  set(QUORRIN_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
elseif(QUORRIN_SANITIZE STREQUAL "thread")
  set(QUORRIN_SANITIZE_FLAGS -fsanitize=thread)
  add_link_options(-fsanitize=thread)
endif()
if(QUORRIN_SANITIZE_FLAGS)
  add_compile_options(${QUORRIN_SANITIZE_FLAGS})
  target_compile_options(quorrin_core PRIVATE ${QUORRIN_SANITIZE_FLAGS})
endif()

find_package(GTest REQUIRED)
enable_testing()
include(GoogleTest)

file(GLOB QUORRIN_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
add_executable(unit_tests ${QUORRIN_UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE quorrin_core GTest::gtest_main Threads::Threads)
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
find_package(Threads REQUIRED)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)

# CRC16 and LRC against an independent implementation (Debian's crcmod):
# checksum_cli prints ours, the script compares them over random inputs.
# Built with unit_tests so that every build that runs ctest has it.
add_executable(checksum_cli ${CMAKE_SOURCE_DIR}/tests/unit/checksum_cli.cpp)
target_link_libraries(checksum_cli PRIVATE quorrin_core)
add_dependencies(unit_tests checksum_cli)
add_test(NAME checksum_crosscheck
         COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/unit/checksum_crosscheck.py $<TARGET_FILE:checksum_cli>)

# libFuzzer targets (clang only): one per parser of outside data.
option(QUORRIN_FUZZ "build the libFuzzer targets" OFF)
if(QUORRIN_FUZZ)
  target_compile_options(quorrin_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  file(GLOB fuzz_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
  foreach(source ${fuzz_sources})
    get_filename_component(target ${source} NAME_WE)
    add_executable(${target} ${source})
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${target} PRIVATE quorrin_core)
  endforeach()
endif()

# Every message text the code uses exists in all four languages.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME message_texts_complete COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/texts/check_texts.py)
