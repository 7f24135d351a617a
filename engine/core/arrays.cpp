#include "core/arrays.h"

#include <atomic>
#include <cstdio>

#include "core/trace.h"

namespace {

void printArrayError(const char* message) { trace("%s", message); }

std::atomic<ArrayErrorFunction> g_errorFunction{printArrayError};

}  // namespace

void setArrayErrorFunction(ArrayErrorFunction fn) {
    g_errorFunction.store(fn ? fn : printArrayError);
}

void reportArrayError(const char* message) {
    g_errorFunction.load()(message);
}

void failArrayAccess() {
    std::fflush(nullptr);
    std::fputs("sArray: access to a slot that could not be allocated; stopping.\n", stderr);
    std::abort();
}
