#pragma once
// Base for classes that own a resource and so must never be copied. Moves
// stay allowed, so that a move-only class can still declare its own.

class CNonCopyable {
protected:
    CNonCopyable() = default;
    ~CNonCopyable() = default;
    CNonCopyable(const CNonCopyable&) = delete;
    CNonCopyable& operator=(const CNonCopyable&) = delete;
    CNonCopyable(CNonCopyable&&) = default;
    CNonCopyable& operator=(CNonCopyable&&) = default;
};
