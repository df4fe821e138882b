#pragma once
// The answer to a user's request for more time: who asks, how much, why, from which computer
// and when; the administrator grants it (the amount asked, or another) or denies it, with an
// optional reply, and may change how often and how much the user may ask. It also tells when
// the user entered wrong codes today and until when code entry is locked. Created once and
// reused; the commands prepare it for each showing.
#include "model/TimeRequest.h"
#include "ui/controls/ModalDialog.h"

#include <string>

namespace vantrel {

// What the dialog shows.
struct TAnswerView {
    std::wstring User;
    TTimeRequest Request;
    TRequestRules Rules;
    // The most minutes a grant may give today: what the bonus can still take.
    int MostGrant = 1440;
    bool Clock24 = false;
    // The local date and time now, in the zone days are judged in.
    SYSTEMTIME Now{};
};

enum class TAnswer { None, Grant, Deny };

class TAnswerRequestForm : public TModalDialog {
public:
    // Control ids, for tests.
    enum : int {
        IdAsks = 1001,
        IdReason,
        IdAskedFrom,
        IdCodes,
        IdMinutes,
        IdReply,
        IdPerDay,
        IdMostMinutes,
        IdDeny,
    };

    bool Create(HWND owner);
    void Prepare(const TAnswerView& view);

    // After a showing ended with IDOK (Grant) or IdDeny (Deny).
    TAnswer Answer() const { return FAnswer; }
    int GrantMinutes() const { return FGrant; }
    std::wstring Reply() const { return FReply; }
    TRequestRules Rules() const { return FRules; }
    // Whether the administrator changed the rules shown.
    bool RulesChanged() const {
        return FRules.PerDay != FShownRules.PerDay || FRules.MostMinutes != FShownRules.MostMinutes;
    }

    // The texts of the dialog's top lines, for a view.
    static std::wstring AsksText(const TAnswerView& view);
    static std::wstring AskedFromText(const TAnswerView& view);
    // Empty when the user entered no wrong code today and code entry is not locked.
    static std::wstring CodesText(const TAnswerView& view);

protected:
    void CreateControls() override;
    void OnShow() override;
    void OnOK() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    // Reads the fields; false (and a box saying what is wrong) when one is out of range.
    bool TakeFields();

    TAnswerView FView;
    TRequestRules FShownRules;
    TRequestRules FRules;
    TAnswer FAnswer = TAnswer::None;
    int FGrant = 0;
    std::wstring FReply;
};

} // namespace vantrel
