// What emscripten's C++ library (libc++ of LLVM 14) lacks of the C++20 library the codec uses,
// forced into every WebAssembly compilation by the top CMakeLists.txt; native builds never see it.
#pragma once

#include <memory>

#if !defined(__cpp_lib_smart_ptr_for_overwrite)
namespace std {
// Like make_unique<T[]>, but the elements are left uninitialised.
template <class T>
requires is_unbounded_array_v<T> unique_ptr<T> make_unique_for_overwrite(size_t n) {
    return unique_ptr<T>(new remove_extent_t<T>[n]);
}
}  // namespace std
#endif
