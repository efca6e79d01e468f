# Compiler settings every target of the project shares: warnings as errors, and floating point kept
# exactly as written (no fused multiply-add, no fast-math), since results are bit-exact.
add_library(imgdesk_warnings INTERFACE)
target_compile_options(imgdesk_warnings INTERFACE
  -Wall -Wextra -Werror -ffp-contract=off -fno-fast-math)
