// The basic integer type of every count and total.
#pragma once

using u64 = unsigned long long;  // matches %llu on every platform we build for
