// The first-tab pages against the stand-in service: the service fixture's program and
// data directories and supervisor backend, a headless host, and a sheet that holds the
// page under test beside a page that can carry unsaved changes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "config/config_store.h"
#include "platform/ini.h"
#include "shell/core/console_page.h"
#include "shell/core/console_caption.h"
#include "shell/core/console_state.h"
#include "tests/support/service_fixture.h"
#include "ui/headless_host.h"

namespace pages_test {

// A second page whose box counts as a settings change and whose Apply can be refused.
class SettingsPage : public shell::ConsolePage {
public:
    SettingsPage() : ConsolePage(ui::Template{"DIALOG_OTHER", "Other", {ui::Check("flag", "Flag")}}) {}
    void OnCommand(const std::string& id, ui::Event) override {
        if (id == "flag") SettingChanged();
    }
    bool OnApply() override {
        ++applied;
        return !refuseApply;
    }
    int applied = 0;
    bool refuseApply = false;
};

class PageFixture : public services_test::ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        config::SetConfigurationPath("");
        shell::Console().outboundQueueSize = 0;
    }
    void TearDown() override {
        shell::Console().outboundQueueSize = 0;
        ServiceFixture::TearDown();
    }

    // Installs and starts the stand-in Gateway service and waits until it runs.
    void StartGateway() {
        auto services = Supervisor();
        ASSERT_EQ(0, services->Install(Gateway()));
        ASSERT_EQ(0, services->Start("QuvSMS"));
        ASSERT_TRUE(services_test::Eventually([&] {
            return Supervisor()->State("QuvSMS") == platform::ServiceState::Running;
        }));
    }
    void StopGateway() {
        ASSERT_EQ(0, Supervisor()->Stop("QuvSMS"));
        ASSERT_TRUE(services_test::Eventually([&] {
            return Supervisor()->State("QuvSMS") == platform::ServiceState::Stopped;
        }));
    }
    void InstallGatewayStopped() { ASSERT_EQ(0, Supervisor()->Install(Gateway())); }

    // MMSCLNK.DLL in the program directory, so the MMSC controls come alive.
    void ProvideMmscLibrary() {
        ASSERT_TRUE(services_test::CopyExecutable(ZELLA_MMSCLNK_PATH, programDir_ + "libmmsclnk.so"));
    }

    void SetZella(const std::string& key, const std::string& value) {
        platform::WritePrivateProfileString(dataDir_ + "ZELLA.INI", "ZELLA", key, value);
    }

    // Runs a sheet of `page` (first) and a SettingsPage, calling `body` with the page once
    // it is open; the sheet is cancelled afterwards.
    template <typename PageType>
    void WithPage(std::unique_ptr<PageType> page, const std::function<void(PageType&)>& body) {
        ui::Sheet sheet(shell::kConsoleCaption);
        PageType* raw = page.get();
        sheet.AddPage(std::move(page));
        auto other = std::make_unique<SettingsPage>();
        settings_ = other.get();
        sheet.AddPage(std::move(other));
        host_.QueueSheet([&](ui::Sheet& s) {
            body(*raw);
            if (!s.IsEnded()) s.End(ui::kCancel);
        });
        host_.RunSheet(sheet);
        settings_ = nullptr;
    }

    // Marks the sheet changed from the other page, as an operator editing a setting would.
    void MakeUnsavedChange(ui::Sheet& sheet) {
        sheet.Activate(1);
        sheet.PageAt(1).UserClick("flag");
        sheet.Activate(0);
    }

    bool Saw(const std::string& fragment) const {
        return host_.TranscriptText().find(fragment) != std::string::npos;
    }
    int Count(const std::string& fragment) const {
        const std::string text = host_.TranscriptText();
        int n = 0;
        for (std::size_t at = text.find(fragment); at != std::string::npos;
             at = text.find(fragment, at + 1)) {
            ++n;
        }
        return n;
    }

    ui::HeadlessHost host_;
    SettingsPage* settings_ = nullptr;
};

}  // namespace pages_test
