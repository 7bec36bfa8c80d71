# Warnings for every target of the project, errors in CI, and sanitizers.
add_compile_options(-Wall -Wextra)
if(VKVX_WERROR)
  add_compile_options(-Werror)
endif()
if(VKVX_SANITIZE)
  add_compile_options(-fsanitize=${VKVX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VKVX_SANITIZE})
endif()
