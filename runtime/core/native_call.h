// Calls an operating-system function through a plain address with word-sized
// arguments taken from an array.  The compiler-specific parts live here.
//
// 32-bit x86: system functions are stdcall (the callee removes its
// arguments), so a function called with the wrong number of arguments leaves
// the stack pointer off.  The call saves the stack pointer, pushes the
// arguments, calls, and reports the difference before restoring it.
//
// 64-bit: there is one calling convention, in which the caller reserves and
// removes the argument area, so a wrong argument count cannot unbalance the
// stack and there is nothing to measure: the call always reports balance.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(_MSC_VER)
#define EE_NOINLINE __declspec(noinline)
#else
#define EE_NOINLINE __attribute__((noinline))
#endif

using NativeFunction = void (*)();

constexpr int kNativeCallMaxArguments = 16;

struct NativeCallResult {
  std::intptr_t value = 0;
  bool stackBalanced = true;
};

#if defined(_M_IX86) || defined(__i386__)

// Kept out of line so that no caller value is live in a register the callee
// may change (only esi, which holds the saved stack pointer, is relied on,
// and every system function preserves it).
EE_NOINLINE inline NativeCallResult NativeCallWords(NativeFunction function, const std::uintptr_t* arguments,
                                                    int count) {
  std::intptr_t value = 0;
  std::intptr_t imbalance = 0;
#if defined(_MSC_VER)
  __asm {
    mov ecx, count
    mov edx, arguments
    mov esi, esp
  push_next:
    test ecx, ecx
    jz call_it
    dec ecx
    push dword ptr [edx + ecx * 4]
    jmp push_next
  call_it:
    call function
    mov edx, esp
    sub edx, esi
    mov esp, esi
    mov value, eax
    mov imbalance, edx
  }
#else
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "decl %%ecx\n\t"
      "pushl (%[args], %%ecx, 4)\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "call *%[function]\n\t"
      "movl %%esp, %%edx\n\t"
      "subl %%esi, %%edx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(value), "=d"(imbalance), "+c"(count)
      : [function] "r"(function), [args] "r"(arguments)
      : "esi", "memory", "cc");
#endif
  return {value, imbalance == 0};
}

#else

namespace native_call_detail {

template <std::size_t... Index>
std::intptr_t CallWith(NativeFunction function, const std::uintptr_t* arguments,
                       std::index_sequence<Index...>) {
  using Typed = std::intptr_t (*)(decltype((void)Index, std::uintptr_t{})...);
  return reinterpret_cast<Typed>(function)(arguments[Index]...);
}

template <std::size_t Count>
std::intptr_t CallWithCount(NativeFunction function, const std::uintptr_t* arguments) {
  return CallWith(function, arguments, std::make_index_sequence<Count>{});
}

template <std::size_t... Count>
constexpr auto CallTable(std::index_sequence<Count...>) {
  return std::array<std::intptr_t (*)(NativeFunction, const std::uintptr_t*), sizeof...(Count)>{
      &CallWithCount<Count>...};
}

}  // namespace native_call_detail

inline NativeCallResult NativeCallWords(NativeFunction function, const std::uintptr_t* arguments, int count) {
  static constexpr auto kCalls =
      native_call_detail::CallTable(std::make_index_sequence<kNativeCallMaxArguments + 1>{});
  return {kCalls[static_cast<std::size_t>(count)](function, arguments), true};
}

#endif
