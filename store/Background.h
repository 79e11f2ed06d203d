#pragma once
// Start-up work that may run beside the main thread: each runs once on a thread of its own.

#include <functional>

// Starts work on a thread; false (and nothing started) when work under this key already ran.
// Every such thread is joined when the application ends, also on a start that ends early.
bool startInBackground(const char *key, std::function<void()> work);
