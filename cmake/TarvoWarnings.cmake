# Every library and executable of ours links tarvo_warnings.
add_library(tarvo_warnings INTERFACE)
target_compile_options(tarvo_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual)
if(TARVO_WERROR)
    target_compile_options(tarvo_warnings INTERFACE -Werror)
endif()
if(TARVO_SANITIZE)
    target_compile_options(tarvo_warnings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(tarvo_warnings INTERFACE -fsanitize=address,undefined)
endif()
