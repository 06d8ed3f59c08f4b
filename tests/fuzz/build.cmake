# Configures (once) and builds the fuzz tree: cmake -DSOURCE=... -DTREE=... -P build.cmake
if(NOT GENERATOR)
  set(GENERATOR "Unix Makefiles")
endif()
if(NOT EXISTS ${TREE}/CMakeCache.txt)
  find_program(clangxx NAMES clang++ clang++-14 REQUIRED)
  find_program(clangc NAMES clang clang-14 REQUIRED)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${TREE} -G "${GENERATOR}"
            -DCMAKE_C_COMPILER=${clangc} -DCMAKE_CXX_COMPILER=${clangxx}
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOX_FUZZ=ON
    RESULT_VARIABLE rc)
  if(rc)
    file(REMOVE ${TREE}/CMakeCache.txt)
    message(FATAL_ERROR "fuzz: configuring ${TREE} failed")
  endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${TREE} --target fuzz_all -j2 RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "fuzz: building ${TREE} failed")
endif()
