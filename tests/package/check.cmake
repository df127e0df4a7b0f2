# cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DCXX=... [-DLAUNCHER=...] -P check.cmake
# Installs the library of BUILD_DIR into WORK_DIR/prefix, then configures and builds the program of
# SOURCE_DIR against it with find_package and runs it; finally links the same object with
# nothing but the archive and the thread library, as a plain command line does.
file(REMOVE_RECURSE ${WORK_DIR})
function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
step(${CMAKE_COMMAND} --install ${BUILD_DIR} --component cpp --prefix ${prefix})
step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G Ninja -DCMAKE_BUILD_TYPE=Release
     -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX}
     "-DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
step(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
step(${WORK_DIR}/build/consumer)

file(GLOB archive ${prefix}/lib*/libhfchain.a)
step(${CXX} ${WORK_DIR}/build/CMakeFiles/consumer.dir/main.cpp.o -o ${WORK_DIR}/plain ${archive}
     -pthread ${LINK_FLAGS})
step(${WORK_DIR}/plain)
