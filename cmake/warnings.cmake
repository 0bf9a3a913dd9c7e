add_compile_options(-Wall -Wextra -Wshadow -Wno-missing-field-initializers)
if(TOBREL_WERROR)
    add_compile_options(-Werror)
endif()
