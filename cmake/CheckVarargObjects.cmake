# Passing an object of class type through "..." must not compile: the
# formatter relies on it to keep printf-style calls type-safe.
try_compile(KAVO_VARARG_OBJECT_COMPILES
  ${CMAKE_BINARY_DIR}/checks/vararg_object
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/checks/vararg_object.cpp
  COMPILE_DEFINITIONS -Werror=conditionally-supported
  CXX_STANDARD 20)
if(KAVO_VARARG_OBJECT_COMPILES)
  message(FATAL_ERROR "Passing a class object through '...' compiles; "
                      "-Werror=conditionally-supported is not in effect")
endif()
