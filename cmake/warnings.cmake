# Warning flags as an INTERFACE target: every target of the project links it.
add_library(halvorix_warnings INTERFACE)
target_compile_options(halvorix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wfloat-conversion)
option(HALVORIX_WERROR "Treat warnings as errors (CI)" OFF)
if(HALVORIX_WERROR)
  target_compile_options(halvorix_warnings INTERFACE -Werror)
endif()
