# The package as hosts and packagers meet it. Installs the build into a staging prefix, then:
#   - runs the installed tool with no library path set, from that prefix and from a moved copy;
#   - reads the library's dynamic symbols: no standard-library instances, no internals, nothing a
#     public header does not declare;
#   - compiles every installed header on its own and after <jpeglib.h> and <X11/Xlib.h>;
#   - builds and runs a small host program through find_package(imgdesk CONFIG) and pkg-config,
#     and the example in examples/ on a sample photo.
cmake_policy(VERSION 3.25)
set(prefix ${BINARY_DIR}/package-stage)
set(work ${BINARY_DIR}/package-consumer)
file(REMOVE_RECURSE ${prefix} ${prefix}-moved ${work})
file(MAKE_DIRECTORY ${work})

# Runs a command with no library search path, so that only RUNPATHs find libimgdesk.so.
function(run)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

# A sanitizer build of the library needs its runtime in the host program too.
set(sanitize_flags "")
if(SANITIZE)
  set(sanitize_flags "-fsanitize=${SANITIZE}")
endif()

run(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix})

# --- The installed tool starts wherever the prefix is -----------------------------------------
run(${prefix}/bin/imgdesk --help)
file(COPY ${prefix}/ DESTINATION ${prefix}-moved)
run(${prefix}-moved/bin/imgdesk --help)
file(REMOVE_RECURSE ${prefix}-moved)

# --- The man page and completions are the installed tool's own -----------------------------------
foreach(pair IN ITEMS "share/man/man1/imgdesk.1|--man"
                      "share/bash-completion/completions/imgdesk|--completion;bash"
                      "share/zsh/site-functions/_imgdesk|--completion;zsh")
  string(REPLACE "|" ";" pair "${pair}")
  list(POP_FRONT pair installed)
  execute_process(COMMAND ${prefix}/bin/imgdesk ${pair} OUTPUT_VARIABLE printed)
  file(READ ${prefix}/${installed} text)
  if(NOT text STREQUAL printed)
    message(FATAL_ERROR "${installed} is missing or differs from imgdesk ${pair}")
  endif()
endforeach()

# --- Only public headers are installed ----------------------------------------------------------
file(GLOB_RECURSE headers RELATIVE ${prefix}/include/imgdesk ${prefix}/include/imgdesk/*)
foreach(required service/CoreKit.h pixel/DataHandler.h imagefile/GdiImage.h document/DocDesk.h
                 scan/PageScan.h scan/PageClean.h)
  if(NOT required IN_LIST headers)
    message(FATAL_ERROR "public header ${required} is not installed")
  endif()
endforeach()
foreach(header IN LISTS headers)
  if(header MATCHES "internal/|platform/print/(Cups|Raster)|platform/(codecs|shell)/|platform/com/Heap.h")
    message(FATAL_ERROR "internal header installed: ${header}")
  endif()
endforeach()

# --- Exported symbols ------------------------------------------------------------------------------
# Every exported name must be declared in an installed header (so a test hook or backend function
# cannot slip out), and nothing of the standard library or of the library's own namespaces
# (imgdesk::print, imgdesk::platform...) may be exported. The PDF writer's private helpers are
# declared in its header, so they are named.
set(header_text "")
foreach(header IN LISTS headers)
  file(READ ${prefix}/include/imgdesk/${header} text)
  string(APPEND header_text "${text}")
endforeach()
file(GLOB library ${prefix}/lib/libimgdesk.so.*.*.*)
run(nm -D --defined-only -C ${library})
string(REPLACE "\n" ";" lines "${run_output}")
set(count 0)
set(unexpected "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[0-9a-f]+ [A-Za-z] (.+)$")
    continue()
  endif()
  set(symbol "${CMAKE_MATCH_1}")
  math(EXPR count "${count} + 1")
  string(REGEX REPLACE "^(typeinfo name|typeinfo|vtable) for " "" name "${symbol}")
  string(REGEX REPLACE "\\(.*$" "" name "${name}")
  string(REGEX REPLACE "\\[abi:[a-z0-9]+\\]" "" name "${name}")
  string(REGEX REPLACE "^.*::" "" member "${name}")
  # Internal namespaces are imgdesk:: and a lower-case name; the print stand-in's is public.
  if(name MATCHES "^imgdesk::print::")
    string(FIND "${header_text}" "${member}" found)
    if(found EQUAL -1)
      list(APPEND unexpected "${symbol}")
    endif()
  elseif(name MATCHES "^([a-z]+ )?(std|__gnu_cxx)::|^imgdesk::[a-z]|^CJpg2Pdf::(Write|Print|BeginObject|ReserveObjects)")
    list(APPEND unexpected "${symbol}")
  elseif(member MATCHES "^operator" OR member MATCHES "^~")
    continue()  # operators and destructors belong to a class checked by its other members
  else()
    string(FIND "${header_text}" "${member}" found)
    if(found EQUAL -1)
      list(APPEND unexpected "${symbol}")
    endif()
  endif()
endforeach()
if(unexpected)
  list(JOIN unexpected "\n  " unexpected)
  message(FATAL_ERROR "exported but not part of the public interface:\n  ${unexpected}")
endif()
if(count LESS 100)
  message(FATAL_ERROR "only ${count} exported symbols: the export list lost the interface")
endif()
message(STATUS "libimgdesk.so exports ${count} symbols")

# --- Installed headers coexist with common C and X11 headers ---------------------------------------
# Each header alone, then after libjpeg's (FALSE, TRUE, boolean) and Xlib's (Status, Bool, True,
# False, None as macros), then all of them after both.
set(preludes "" "#include <cstdio>\n#include <jpeglib.h>\n" "#include <X11/Xlib.h>\n#include <X11/Xutil.h>\n")
set(all_headers "")
foreach(header IN LISTS headers)
  string(APPEND all_headers "#include \"${header}\"\n")
endforeach()
set(index 0)
foreach(prelude IN LISTS preludes)
  foreach(header IN LISTS headers)
    file(WRITE ${work}/header_${index}.cpp "${prelude}#include \"${header}\"\nint main() { return 0; }\n")
    run(c++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${prefix}/include/imgdesk ${work}/header_${index}.cpp)
    math(EXPR index "${index} + 1")
  endforeach()
endforeach()
file(WRITE ${work}/headers_after_c.cpp
  "#include <X11/Xlib.h>\n#include <cstdio>\n#include <jpeglib.h>\n${all_headers}int main() { return 0; }\n")
run(c++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${prefix}/include/imgdesk ${work}/headers_after_c.cpp)

# --- Hosts build against the package --------------------------------------------------------------
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${work}/cmake -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${sanitize_flags}")
run(${CMAKE_COMMAND} --build ${work}/cmake)
run(${work}/cmake/consumer)

set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs imgdesk OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know imgdesk")
endif()
execute_process(COMMAND pkg-config --print-requires-private imgdesk OUTPUT_VARIABLE private OUTPUT_STRIP_TRAILING_WHITESPACE)
if(private)
  message(FATAL_ERROR "imgdesk.pc names private requirements: ${private}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(c++ -std=c++17 ${sanitize_flags} ${CONSUMER_DIR}/consumer.cpp ${flags} -Wl,-rpath,${prefix}/lib -o ${work}/consumer-pc)
run(${work}/consumer-pc)

# The package's configuration file must not send hosts looking for the library's own dependencies.
file(READ ${prefix}/lib/cmake/imgdesk/imgdeskConfig.cmake config)
file(GLOB targets ${prefix}/lib/cmake/imgdesk/imgdeskTargets*.cmake)
foreach(file IN LISTS targets)
  file(READ ${file} text)
  string(APPEND config "${text}")
endforeach()
if(config MATCHES "find_dependency|imgdesk_deps|(JPEG|PNG|TIFF|GIF|LibArchive|Cups|OpenSSL)::")
  message(FATAL_ERROR "the CMake package names the library's private dependencies")
endif()

# The README's example host program: the page of a sample photo, found and saved upright.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${work}/examples -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${sanitize_flags}")
run(${CMAKE_COMMAND} --build ${work}/examples)
run(${work}/examples/scan_photo ${SOURCE_DIR}/samples/desk-page-1.jpg ${work}/page.png)
if(NOT run_output MATCHES "found by its edges" OR NOT EXISTS ${work}/page.png)
  message(FATAL_ERROR "the example did not find the sample's page: ${run_output}")
endif()
