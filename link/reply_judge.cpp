#include "link/reply_judge.h"

#include <algorithm>
#include <utility>

namespace cablemeter {

namespace {

using Milliseconds = ReplyJudge::Milliseconds;

// A byte takes 10 bits on the line at 19200 baud.
constexpr int kBaudRate = 19200;
constexpr int kBitsPerByte = 10;
constexpr int kMillisecondsPerSecond = 1000;

Milliseconds lineTime(qsizetype bytes)
{
    return Milliseconds((bytes * kBitsPerByte * kMillisecondsPerSecond + kBaudRate - 1) /
                        kBaudRate);
}

// Two replies agree when their page bytes do: byte 0 and the bytes after byte 254 mean nothing.
bool samePageBytes(const QByteArray& reply, const QByteArray& other)
{
    constexpr qsizetype kFirst = 1;
    return reply.size() > ReplyJudge::kCarriedPageBytes &&
           other.size() > ReplyJudge::kCarriedPageBytes &&
           reply.mid(kFirst, ReplyJudge::kCarriedPageBytes) ==
               other.mid(kFirst, ReplyJudge::kCarriedPageBytes);
}

} // namespace

void ReplyJudge::forgetMeter()
{
    m_learnedLength = 0;
    beginOperation();
}

void ReplyJudge::beginOperation()
{
    m_answeredInOperation = false;
    beginPage();
}

void ReplyJudge::beginPage()
{
    m_reads = 0;
    m_departingReads = 0;
    m_unfinishedReplies = 0;
    m_silentReads = 0;
    m_readsWithLineErrorsInARow = 0;
    m_lastDepartingReply.clear();
}

qsizetype ReplyJudge::replyStart(const Burst& burst) const
{
    // An echo is the request's own bytes followed by a whole reply; a reply of the learned
    // length that merely begins like the request is the reply itself.
    if (burst.request.isEmpty() || !burst.bytes.startsWith(burst.request))
        return 0;
    const qsizetype afterEcho = burst.bytes.size() - burst.request.size();
    if (m_learnedLength > 0)
        return afterEcho == m_learnedLength ? burst.request.size() : 0;
    return afterEcho >= kShortestReply ? burst.request.size() : 0;
}

bool ReplyJudge::fitsLearnedLength(const Burst& burst) const
{
    return m_learnedLength > 0 && burst.bytes.size() - replyStart(burst) == m_learnedLength;
}

Milliseconds ReplyJudge::finishLimit() const
{
    // The longest reply we expect: this meter's length (or the shortest there is), echo included.
    constexpr int kLongestEcho = 6;
    return lineTime(std::max(m_learnedLength, kShortestReply) + kLongestEcho) + kFinishGrace;
}

ReplyJudge::Watch ReplyJudge::watch(const Burst& burst) const
{
    if (burst.bytes.isEmpty()) {
        if (burst.sinceRequest >= kAnswerLimit)
            return {End::NoAnswer, {}};
        return {End::NotYet, kAnswerLimit - burst.sinceRequest};
    }
    // How long the line must be quiet before the burst is over; none while it is short of any
    // reply (the rest is still due).
    std::optional<Milliseconds> neededQuiet;
    const qsizetype replyLength = burst.bytes.size() - replyStart(burst);
    if (fitsLearnedLength(burst))
        neededQuiet = burst.longestGap + kQuietMargin;
    else if (replyLength >= kShortestReply)
        neededQuiet = std::max(burst.longestGap + kQuietMargin, Milliseconds(kSettledQuiet));
    if (neededQuiet && burst.quiet >= *neededQuiet)
        return {End::Quiet, {}};

    const Milliseconds finish = finishLimit();
    if (burst.sinceFirstByte >= finish)
        return {replyLength >= kShortestReply ? End::NeverQuiet : End::Unfinished, {}};
    Milliseconds lookAgain = finish - std::max(burst.sinceFirstByte, Milliseconds(0));
    if (neededQuiet)
        lookAgain = std::min(lookAgain, *neededQuiet - burst.quiet);
    // Short of the learned length, or of an echo and a reply of it: the rest is due.
    const bool echoAhead = !burst.request.isEmpty() && burst.bytes.startsWith(burst.request) &&
                           burst.bytes.size() < burst.request.size() + m_learnedLength;
    if (replyLength < m_learnedLength || echoAhead)
        lookAgain = std::min(lookAgain, Milliseconds(kTailPoll));
    return {End::NotYet, std::max(lookAgain, Milliseconds(1))};
}

ReplyJudge::Judgement ReplyJudge::readAgainOrFail(Finding finding, bool failNow,
                                                  bool checkServedPage) const
{
    const bool fail = failNow || m_reads >= kMostReads;
    return {fail ? Verdict::Fail : Verdict::ReadAgain, finding, 0, checkServedPage};
}

ReplyJudge::Judgement ReplyJudge::judge(const Burst& burst)
{
    ++m_reads;
    // Bytes between the last reply and this request may be the tail of that reply.
    bool checkServedPage = burst.bytesBeforeRequest > 0;
    const QByteArray previousDeparture = std::exchange(m_lastDepartingReply, {});

    if (burst.bytes.isEmpty()) {
        ++m_silentReads;
        // A meter that is off or on another port is told at once; one that has been answering
        // is asked once more.
        return readAgainOrFail(Finding::NoAnswer,
                               !m_answeredInOperation || m_silentReads >= kMostSilentReads,
                               checkServedPage);
    }
    m_answeredInOperation = true;

    if (burst.lineErrors) {
        ++m_readsWithLineErrorsInARow;
        return readAgainOrFail(Finding::LineErrors,
                               m_readsWithLineErrorsInARow >= kMostReadsWithLineErrors,
                               checkServedPage);
    }
    m_readsWithLineErrorsInARow = 0;

    const End end = watch(burst).end;
    const qsizetype start = replyStart(burst);
    const qsizetype length = burst.bytes.size() - start;
    const bool longerThanLearned = m_learnedLength > 0 && length > m_learnedLength;
    if (end == End::NeverQuiet)
        return readAgainOrFail(Finding::NeverQuiet, true, true);
    if (end == End::Unfinished || length < kShortestReply) {
        ++m_unfinishedReplies;
        return readAgainOrFail(Finding::Stopped, m_unfinishedReplies >= kMostUnfinishedReplies,
                               checkServedPage);
    }
    if (burst.longestGap >= kPiecesGap) {
        ++m_unfinishedReplies;
        return readAgainOrFail(Finding::InPieces, m_unfinishedReplies >= kMostUnfinishedReplies,
                               checkServedPage || longerThanLearned);
    }

    if (m_learnedLength == 0) {
        m_learnedLength = int(length);
        return {Verdict::Take, Finding::FirstReply, start, checkServedPage};
    }
    if (length == m_learnedLength)
        return {Verdict::Take, start > 0 ? Finding::Echoed : Finding::Fits, start, checkServedPage};

    // Bytes beyond a reply may be ahead of it: the tail of the reply before.
    checkServedPage = checkServedPage || longerThanLearned;
    const QByteArray reply = burst.bytes.mid(start);
    if (previousDeparture.size() == reply.size() && samePageBytes(previousDeparture, reply)) {
        // The meter answers differently now (or its first reply had a glitch): the page handed
        // out under the old length is checked under the new one.
        m_learnedLength = int(length);
        return {Verdict::Take, Finding::NewLength, start, true};
    }
    m_lastDepartingReply = reply;
    ++m_departingReads;
    return readAgainOrFail(Finding::WrongLength, m_departingReads >= kMostDepartingReads,
                           checkServedPage);
}

} // namespace cablemeter
