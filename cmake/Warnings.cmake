# Compiler settings every target of the project shares: warnings, and floating point kept exactly as
# written (no fused multiply-add, no fast-math), since results are bit-exact. Warnings are errors
# only where the compiler is known (the presets and CI): a packager's newer or older compiler may
# warn where ours does not, and that must not stop the build.
add_library(imgdesk_warnings INTERFACE)
target_compile_options(imgdesk_warnings INTERFACE
  -Wall -Wextra -ffp-contract=off -fno-fast-math $<$<BOOL:${IMGDESK_WARNINGS_AS_ERRORS}>:-Werror>)
