// The wizard's pages other than the target page: welcome, licence,
// registration, Start menu, ready, installing, done and the two uninstall
// pages. Each is a child dialog of the frame.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "installer/executor.h"
#include "installer/operation_list.h"
#include "wizard/progress_bar.h"
#include "wizard/wizard_page.h"

namespace wizard {

class WelcomePage : public WizardPage {
public:
    explicit WelcomePage(WizardFrame& frame);

protected:
    bool OnInit() override;
};

// Yes accepts the licence and goes on; No is the frame's Cancel.
class LicensePage : public WizardPage {
public:
    explicit LicensePage(WizardFrame& frame);
    // Shown exactly as given: the licence is never expanded.
    void SetLicenseText(std::string text) { licenseText_ = std::move(text); }
    void OnShow() override;
    void OnHide() override;

protected:
    bool OnInit() override;

private:
    std::string licenseText_;
};

// User name and company; Next only once there is a name.
class RegistrationPage : public WizardPage {
public:
    static constexpr const char* kUserInfoKey = "Software\\Microsoft\\MS Setup (ACME)\\User Info";
    explicit RegistrationPage(WizardFrame& frame);
    void OnShow() override;
    void OnHide() override;

protected:
    bool OnInit() override;
    bool OnControl(int id, int code, HWND control) override;

private:
    void ReadFields();
    void ApplyNextRule();

    std::string name_, company_;
    bool shown_ = false;
};

// The program folder of the Start menu, typed or picked from the existing ones.
class StartMenuPage : public WizardPage {
public:
    explicit StartMenuPage(WizardFrame& frame);
    void OnShow() override;

protected:
    bool OnInit() override;
    bool OnControl(int id, int code, HWND control) override;

private:
    std::string folder_;
    bool filling_ = false;
};

// A plain-text summary of the choices before anything changes.
class ReadyPage : public WizardPage {
public:
    explicit ReadyPage(WizardFrame& frame);
    void OnShow() override;
    // The summary of the frame's current choices.
    std::string Summary() const;

protected:
    bool OnInit() override;
};

// Plays the animation and runs the install with the percentage bar.
class InstallingPage : public WizardPage, public installer::InstallContext, public installer::ProgressSink {
public:
    explicit InstallingPage(WizardFrame& frame);
    void OnShow() override;
    void OnHide() override;
    // Executes the operation list, reports success to the frame and posts
    // the move to the next page.
    void RunInstall();
    bool Running() const { return running_; }

    PercentProgressBar& ProgressBar() { return bar_; }
    const installer::OperationList& Operations() const { return operations_; }
    const installer::OperationList& UndoRecords() const { return undo_; }

    // InstallContext
    HWND Owner() override;
    std::string Expand(std::string_view text) override;
    void KeepAlive() override;
    // ProgressSink: byte counts beyond the bar's int range are scaled down.
    void SetRange(uint64_t lower, uint64_t upper) override;
    void SetPosition(uint64_t position) override;

protected:
    bool OnInit() override;
    void OnDestroy() override;

private:
    installer::OperationList operations_;
    installer::OperationList undo_;
    PercentProgressBar bar_;
    uint64_t scale_ = 1;
    bool running_ = false;
};

class DonePage : public WizardPage {
public:
    explicit DonePage(WizardFrame& frame);
    void OnShow() override;

protected:
    bool OnInit() override;
};

class UninstallingPage;

// Work that drives the uninstalling page's bar instead of the timed steps:
// it sets the range and position through the page, calls KeepAlive between
// steps and stops when that returns false; its result is the frame's success.
using UninstallWork = std::function<bool(UninstallingPage& page)>;

class UninstallingPage : public WizardPage, public installer::ProgressSink {
public:
    static constexpr int kTimedSteps = 200;
    explicit UninstallingPage(WizardFrame& frame);
    void OnShow() override;
    void OnHide() override;
    // The timed steps (or the caller's work), then the queued move onwards.
    void RunProgress();
    bool Running() const { return running_; }
    void SetWork(UninstallWork work) { work_ = std::move(work); }

    // Pending messages are handled; false once the user confirmed Cancel or
    // the application is quitting.
    bool KeepAlive();
    HWND Owner() const;
    std::string Expand(std::string_view text) const;
    int Position() const;
    // ProgressSink
    void SetRange(uint64_t lower, uint64_t upper) override;
    void SetPosition(uint64_t position) override;

protected:
    bool OnInit() override;

private:
    UninstallWork work_;
    bool running_ = false;
    bool quitting_ = false;
};

class UninstallDonePage : public WizardPage {
public:
    explicit UninstallDonePage(WizardFrame& frame);
    void OnShow() override;

protected:
    bool OnInit() override;
};

}  // namespace wizard
