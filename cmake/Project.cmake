# Shared compile settings for every target of the project.
set(SWFSAVER_WINDOWS OFF)
if(WIN32)
  set(SWFSAVER_WINDOWS ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(SWFSAVER_ARCH x86_64)
  else()
    set(SWFSAVER_ARCH i686)
  endif()
endif()

add_compile_options(-Wall -Wextra)
if(SWFSAVER_WERROR)
  add_compile_options(-Werror)
endif()

if(SWFSAVER_WINDOWS)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 STRICT NOMINMAX)
  # One file, no MinGW runtime DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Release programs carry no symbol tables: they are for users, not debuggers.
  add_link_options($<$<CONFIG:Release>:-s>)
elseif(SWFSAVER_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(SWFSAVER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# swfsaver_windows_libs(target): the system libraries a Windows target may import from.
function(swfsaver_windows_libs target)
  target_link_libraries(${target} PRIVATE ole32 oleaut32 uuid comdlg32 comctl32 gdi32 user32 advapi32 kernel32)
endfunction()
