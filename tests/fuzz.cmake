# Helpers of the fuzz folders (built only with -DPLENOVA_FUZZ=ON under clang): libFuzzer targets
# with AddressSanitizer and UndefinedBehaviorSanitizer, over libraries compiled with them too.
include_guard(GLOBAL)

# The sanitizer options of every fuzz build (a function, so every folder sees them).
function(plenova_fuzz_flags out)
  set(${out} -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer PARENT_SCOPE)
endfunction()

# plenova_fuzz_instrument(<library>...): compiles the libraries with the sanitizers and the
# fuzzer's coverage, and links their users with the sanitizers; libraries not built are passed
# over.
function(plenova_fuzz_instrument)
  plenova_fuzz_flags(flags)
  foreach(lib ${ARGN})
    if(TARGET ${lib})
      target_compile_options(${lib} PRIVATE ${flags} -fsanitize=fuzzer-no-link)
      target_link_options(${lib} INTERFACE -fsanitize=address,undefined)
    endif()
  endforeach()
endfunction()

# plenova_add_fuzz_target(<name> <source> <libraries>...): one libFuzzer program.
function(plenova_add_fuzz_target name source)
  plenova_fuzz_flags(flags)
  add_executable(${name} ${source})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}")
  target_compile_options(${name} PRIVATE ${flags} -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${ARGN} plenova_warnings)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
endfunction()
