#pragma once
// What QORtray tells its user of a request for more time: the ask window's texts and which of
// its parts are offered, worked out from the figures the service wrote (their request fields)
// alone; the words for each answer of the service; and the balloon that tells an answer once.
#include "model/AskMessage.h"
#include "model/UserFigures.h"

#include <string>
#include <vector>

namespace vantrel {

// The amounts offered in the list; any other up to the most the parent allows may be typed.
inline constexpr int kAskAmounts[] = {15, 30, 60};

struct TAskView {
    // The sentence on the request as it stands: waiting, granted, not granted, withdrawn...
    std::wstring State;
    // How many more requests today, or why none can be made.
    std::wstring Left;
    // Whether a request can be sent, the amounts listed (those of kAskAmounts up to Most) and
    // the most that may be asked for at a time.
    bool CanAsk = false;
    std::vector<int> Amounts;
    int Most = 0;
    // A request is waiting: it can be taken back.
    bool CanWithdraw = false;
    // A phone is paired: a code can be entered, unless wrong codes locked it (CodeNote says for
    // how long).
    bool ShowCode = false;
    bool CodeLocked = false;
    std::wstring CodeNote;

    bool operator==(const TAskView& o) const {
        return State == o.State && Left == o.Left && CanAsk == o.CanAsk && Amounts == o.Amounts &&
               Most == o.Most && CanWithdraw == o.CanWithdraw && ShowCode == o.ShowCode &&
               CodeLocked == o.CodeLocked && CodeNote == o.CodeNote;
    }
    bool operator!=(const TAskView& o) const { return !(*this == o); }
};

// The view of the figures read now (nullptr when none could be read); `askedAt` is the minute of
// the day this program saw the waiting request first, -1 when it does not know.
TAskView AskViewOf(const TUserFigures* figures, int askedAt = -1);

// The minutes typed or picked: a whole number from 1 to `most`, else 0.
int ParseAskAmount(const std::wstring& text, int most);
// The reason as typed, as the service takes it: without line breaks and other control
// characters, without spaces at either end, at most kMaxReasonLength characters.
std::wstring CleanReason(const std::wstring& text);
// The six digits of a code as typed (spaces allowed between them), else empty.
std::string ParseCodeText(const std::wstring& text);

// How a call on the service's pipe ended.
enum class TAskOutcome {
    Answered,  // an answer in the protocol's words
    NoService, // no pipe, all of its instances busy, or no answer in time
    BadAnswer, // something that is not an answer
};

// The words for the user after a message of `kind` got `answer` (with Answered); `most` is the
// most the user may ask for, for the refusal of an amount.
std::wstring AskResultText(TAskKind kind, TAskOutcome outcome, const TAskAnswer& answer, int most);

// Tells each answer of the parent once: "You got 30 more minutes", "Not now: <reply>".
class TAnswerTeller {
public:
    // The balloon's text for these figures, empty when there is nothing new. The first figures
    // read only set the mark: an answer given before this program started is not news.
    std::wstring Next(const TUserFigures& figures);

private:
    bool FKnown = false;
    DWORD FSerial = 0;
};

} // namespace vantrel
