# Warnings, sanitizers and the Windows runtime for our own targets.

function(cardn5_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(WIN32)
    # No MinGW runtime DLLs next to ours: the machine has only the DLLs we ship.
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++)
  endif()
  if(CARDN5_SANITIZE STREQUAL "address")
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  elseif(CARDN5_SANITIZE STREQUAL "thread")
    target_compile_options(${target} PRIVATE -fsanitize=thread)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
endfunction()

# Compile definitions that make __FILE__ relative, so recorded error
# locations do not carry the build machine's paths.
add_compile_options(-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=)
