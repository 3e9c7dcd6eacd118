// A call posted to the program's message loop, as a message posted to its own window: it runs
// after the caller has returned, the next time messages are handled (also inside a loop that
// pumps them).
#pragma once
#include <functional>

void PostCall(std::function<void()> call);
