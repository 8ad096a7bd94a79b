#pragma once
// The error a failed result holds, or `otherwise` when it succeeded: reading error() from a
// result that succeeded is undefined, and may even show the error an earlier result held.
template <class R> typename R::error_type error_of(const R &r, typename R::error_type otherwise = {}) {
    return r ? otherwise : r.error();
}
