# One interface target carries warnings and Qt defines for the project's own code.
add_library(vork_options INTERFACE)
target_compile_options(vork_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wimplicit-fallthrough -Werror)
target_compile_definitions(vork_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_USE_QSTRINGBUILDER
    QT_NO_KEYWORDS
    QT_NO_FOREACH
    VORK_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    VORK_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    VORK_VERSION_PATCH=${PROJECT_VERSION_PATCH})

if(VORK_SANITIZE)
    set(_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_compile_options(vork_options INTERFACE ${_san})
    target_link_options(vork_options INTERFACE ${_san})
endif()
