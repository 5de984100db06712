# One place for the warning flags of our own code.
add_library(sylvane_warnings INTERFACE)
target_compile_options(sylvane_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(SYLVANE_WERROR)
    target_compile_options(sylvane_warnings INTERFACE -Werror)
endif()
