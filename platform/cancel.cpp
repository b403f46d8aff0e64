#include "platform/cancel.h"

namespace platform {

namespace {
thread_local CancelToken* current = nullptr;
}

ScopedCancelToken::ScopedCancelToken(CancelToken* token) : previous_(current) { current = token; }

ScopedCancelToken::~ScopedCancelToken() { current = previous_; }

CancelToken* CurrentCancelToken() { return current; }

bool CancelRequested() { return current != nullptr && current->Cancelled(); }

}  // namespace platform
