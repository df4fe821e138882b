#pragma once
// The pairing of the parent's authenticator app: a new random key shown as a QR code of its
// otpauth address and as Base32 text, the most minutes one code gives, and one code from the app
// that must be right (the time step before, of or after now) before OK keeps anything. The key
// is written to this computer's service key and, with a network store, to the store's, both
// readable by SYSTEM and the Administrators alone; then the service is told. A phone paired
// before is said so, and can be unpaired (its key removed in both places).
#include "model/CodeKey.h"
#include "ui/controls/ModalDialog.h"
#include "ui/controls/QrCode.h"

#include <functional>
#include <string>

namespace vantrel {

// The key in groups of four Base32 characters, as people type it: "ABCD EFGH ...".
std::wstring GroupedKeyText(const TSecret& key);
// Whether `code` (the digits typed) is the key's code of the time step before, of, or after
// `unixSeconds`: a phone's clock may be a little off, and a code read at a step's end is typed
// in the next.
bool CodeIsRight(const TSecret& key, const std::wstring& code, std::uint64_t unixSeconds);

class TPairPhoneForm : public TModalDialog {
public:
    enum : int {
        IdQrCode = 1300,
        IdLabelScan,
        IdKeyText,
        IdLabelMinutes,
        IdMinutes,
        IdLabelCode,
        IdCode,
        IdStatus,
        IdPairedText,
        IdUnpair,
    };
    static constexpr int kLeastMinutes = 5;
    static constexpr int kMostMinutes = 240;

    TPairPhoneForm() = default;

    bool Create(HWND owner);
    // Before each showing: the store the key goes to (the network computer when useRemote),
    // a new key and what is paired now. False when the system gave no random key; the dialog
    // is not to be shown then.
    bool Prepare(bool useRemote, const std::wstring& remoteComputer);
    // Puts a key of the caller's in place of the new one (screenshots).
    void UseKey(const TSecret& key);

    // Run after a key was kept or removed: the command tells the service.
    std::function<void()> TellService;
    // The main window's help command, run by F1.
    std::function<void()> HelpCommand;

    const TSecret& Key() const { return FKey; }
    const std::string& Address() const { return FAddress; }
    const TQrCode& Code() const { return FCode; }
    bool IsPaired() const { return FPaired; }
    // The name the app lists the account under: the network computer's with a network store,
    // else this computer's.
    const std::wstring& AccountName() const { return FAccount; }

    // OK: checks the minutes and the code, and keeps the key only when the code is right.
    void ButtonOKClick();
    // Asks, then removes the paired key from this computer and the store.
    void ButtonUnpairClick();

protected:
    void CreateControls() override;
    void OnShow() override;
    void OnOK() override { ButtonOKClick(); }
    bool OnHelp(const HELPINFO& info) override;
    bool OnCommand(int id, int code, HWND control) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowPairing();
    void SayWhy(const std::wstring& text, int focusId);
    // Writes the key to this computer and the store; on a failure in the store this computer's
    // key is put back as it was. False (with nothing changed) when a write failed.
    bool KeepKey(const TCodeKey& key);
    bool RemoveKeys();

    bool FUseRemote = false;
    std::wstring FRemoteComputer;
    std::wstring FAccount;
    TSecret FKey;
    std::string FAddress;
    TQrCode FCode;
    bool FPaired = false;
    FILETIME FPairedAt{};
};

} // namespace vantrel
