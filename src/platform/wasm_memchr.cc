// memchr for WebAssembly builds (the page): 16 bytes at a time with SIMD128.
// The C library that Emscripten links takes a 32-bit word at a time, and
// the reader's passes over each slice for CR and 0x1A bytes, and its search
// for "=" in header lines, spent a quarter of the page's time in it. The
// linker takes this definition before the library's.
#include <wasm_simd128.h>

#include <cstddef>

extern "C" void* memchr(const void* bytes, int value, std::size_t size) {
  const auto* at = static_cast<const unsigned char*>(bytes);
  const auto wanted = static_cast<unsigned char>(value);
  const v128_t needle = wasm_i8x16_splat(static_cast<signed char>(wanted));
  for (; size >= 16; size -= 16, at += 16) {
    const unsigned found =
        wasm_i8x16_bitmask(wasm_i8x16_eq(wasm_v128_load(at), needle));
    if (found != 0) return const_cast<unsigned char*>(at + __builtin_ctz(found));
  }
  for (; size > 0; --size, ++at) {
    if (*at == wanted) return const_cast<unsigned char*>(at);
  }
  return nullptr;
}
