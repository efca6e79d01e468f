# Installs the built library into a staging prefix, then builds and runs a small host program
# against it twice: once through find_package(imgdesk CONFIG), once through pkg-config.
set(prefix ${BINARY_DIR}/package-stage)
set(work ${BINARY_DIR}/package-consumer)
file(REMOVE_RECURSE ${prefix} ${work})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

# A sanitizer build of the library needs its runtime in the host program too.
set(sanitize_flags "")
if(SANITIZE)
  set(sanitize_flags "-fsanitize=${SANITIZE}")
endif()

run(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${work}/cmake -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${sanitize_flags}")
run(${CMAKE_COMMAND} --build ${work}/cmake)
run(${work}/cmake/consumer)

set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs imgdesk OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know imgdesk")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(c++ -std=c++17 ${sanitize_flags} ${CONSUMER_DIR}/consumer.cpp ${flags} -Wl,-rpath,${prefix}/lib -o ${work}/consumer-pc)
run(${work}/consumer-pc)
