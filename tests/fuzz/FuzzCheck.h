#pragma once
// A property a fuzz target asserts: when it fails the fuzzer stops and keeps the input that broke it.

inline void Check(bool Condition)
{
  if (!Condition)
    __builtin_trap();
}
