if(FUZZ)
  # Fuzzing: every library is built with libFuzzer's coverage and the address
  # and undefined-behaviour checks; only the targets in fuzz/ link the fuzzer.
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "FUZZ needs clang (cmake -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  if(NOT SANITIZE STREQUAL "")
    message(FATAL_ERROR "FUZZ brings its own sanitizers; leave SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT SANITIZE STREQUAL "")
  message(FATAL_ERROR "SANITIZE must be empty, address or thread (got '${SANITIZE}')")
endif()

# Checked builds are built to be run once in CI: -O1 and line tables only
# (enough for the sanitizers' stack traces) compile about a third faster
# than -O2 -g.
if(FUZZ OR NOT SANITIZE STREQUAL "")
  add_compile_options(-O1 -g1)
  # The standard library checks its own bounds too (span::subspan, vector's
  # operator[]), which the sanitizers cannot see inside one object.
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()
