// The two limits a caller may put on one download from an untrusted server:
// the largest body it will hold and an overall deadline. The platform's own
// time-outs are per phase (connect, send, each receive), so a server that
// keeps a connection busy with a byte every few seconds passes all of them;
// only a clock over the whole exchange stops it.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace web {

class DownloadLimits {
public:
    // 0 means no limit, for either.
    DownloadLimits(uint32_t maxBodyBytes, uint32_t deadlineMs)
        : maxBody_(maxBodyBytes), deadlineMs_(deadlineMs), start_(std::chrono::steady_clock::now())
    {}

    // True when a body of `size` bytes is within the largest body.
    bool BodyFits(uint64_t size) const { return maxBody_ == 0 || size <= maxBody_; }

    // The body length a response head declares, from the text of its
    // Content-Length value: none when there is no such header or its value is
    // not a number; a number too wide even for 64 bits reads as the largest,
    // which no cap admits.
    static std::optional<uint64_t> ParseDeclaredLength(std::string_view value)
    {
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        if (value.empty()) return std::nullopt;
        uint64_t length = 0;
        for (char c : value) {
            if (c < '0' || c > '9') return std::nullopt;
            uint64_t digit = static_cast<uint64_t>(c - '0');
            if (length > (UINT64_MAX - digit) / 10) return UINT64_MAX;
            length = length * 10 + digit;
        }
        return length;
    }

    // True when a response declares a body longer than the cap, so that it
    // can be refused before any of it is read. The response to a HEAD request
    // and a 1xx, 204 or 304 response carry no body whatever length they
    // declare, so their word is not taken.
    bool DeclaresTooMuch(bool headRequest, uint32_t status, std::optional<uint64_t> declared) const
    {
        if (headRequest || (status >= 100 && status < 200) || status == 204 || status == 304) return false;
        return declared && !BodyFits(*declared);
    }

    bool HasDeadline() const { return deadlineMs_ != 0; }
    bool Expired() const { return HasDeadline() && ElapsedMs() >= deadlineMs_; }

    // A per-phase time-out of the platform's cut down to the time left plus
    // a grace second, so that the platform's work ends soon after the
    // deadline while the deadline itself, not a platform timer firing a few
    // milliseconds early, ends the wait (at least 1 ms: 0 would mean "wait
    // for ever" to the platform).
    uint32_t Bound(uint32_t phaseMs) const
    {
        if (!HasDeadline()) return phaseMs;
        uint64_t left = uint64_t{LeftMs()} + kGraceMs;
        return static_cast<uint32_t>(std::max<uint64_t>(1, std::min<uint64_t>(phaseMs, left)));
    }

    // The milliseconds left before the deadline (0 once it has passed);
    // without a deadline, INFINITE's value.
    uint32_t LeftMs() const
    {
        if (!HasDeadline()) return UINT32_MAX;
        uint64_t elapsed = ElapsedMs();
        return elapsed >= deadlineMs_ ? 0 : static_cast<uint32_t>(deadlineMs_ - elapsed);
    }

private:
    static constexpr uint64_t kGraceMs = 1000;

    uint64_t ElapsedMs() const
    {
        auto elapsed = std::chrono::steady_clock::now() - start_;
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    }

    uint32_t maxBody_;
    uint32_t deadlineMs_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace web
