#pragma once

#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace cablemeter::sim {

// How the simulated meter's bytes reach the program through the pty.
enum class Pacing {
    Unpaced,       // the whole burst at once, no waiting (fast unit tests)
    Uart,          // a plain serial port: whatever arrived on the line, every ~2 ms
    Usb,           // an FTDI-style adapter: one USB packet every 16 ms with all that arrived since
    UsbLowLatency, // the same adapter with the driver's low-latency mode: a packet every 1 ms
};

// 19200 baud with 10 bits per byte (start, 8 data, stop).
inline constexpr int kBaudRate = 19200;
inline constexpr int kBitsPerByte = 10;
inline constexpr std::chrono::milliseconds kUartTick{2};
inline constexpr std::chrono::milliseconds kUsbTick{16};
inline constexpr std::chrono::milliseconds kUsbLowLatencyTick{1};

// When byte i (0-based) of a burst has been fully shifted out on the line, counted from the start
// of the burst. Computed from the byte index, not by adding up rounded byte times, so it never
// drifts.
std::chrono::nanoseconds lineTime(int byteIndex);
// The line time of a whole run of bytes.
std::chrono::nanoseconds lineTimeOf(int byteCount);

// One write of the pacing: `bytes` bytes handed over `at` after the burst started.
struct PacedChunk {
    std::chrono::nanoseconds at{0};
    int bytes = 0;
    bool operator==(const PacedChunk&) const = default;
};

// Splits a burst of byteCount bytes into the writes a port of this pacing would deliver. The
// chunks add up to byteCount; Unpaced gives one chunk at time 0; nothing for an empty burst.
QList<PacedChunk> planBurst(int byteCount, Pacing pacing);

// "unpaced", "uart", "usb", "usb-low-latency" (case-insensitive).
std::optional<Pacing> pacingFromName(const QString& name);
QString pacingName(Pacing pacing);

} // namespace cablemeter::sim
