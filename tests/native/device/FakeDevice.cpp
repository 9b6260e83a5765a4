#include "FakeDevice.h"

#include "common/CodePage.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zorvi::test {

void TFakePort::Send(std::chrono::milliseconds at, const std::string& bytes, std::size_t piece,
                     std::chrono::milliseconds spacing) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto when = piece == 0 ? at : at + spacing * static_cast<int>(i / piece);
        Input.emplace_back(when, static_cast<std::uint8_t>(bytes[i]));
    }
    std::stable_sort(Input.begin(), Input.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

TFakePort* TFakeSerial::Find(TPortHandle port) {
    const auto open = Open_.find(port);
    if (open == Open_.end() || Ports[open->second].Gone) {
        return nullptr;
    }
    return &Ports[open->second];
}

TPortHandle TFakeSerial::Open(const std::string& devicePath) {
    OpenAttempts.push_back(devicePath);
    OpenTimes.push_back(Clock.Now());
    const auto found = Ports.find(devicePath);
    if (found == Ports.end()) {
        return kInvalidPortHandle;
    }
    TFakePort& port = found->second;
    // Exclusive: a port already open is refused like a missing one.
    for (const auto& [handle, path] : Open_) {
        if (path == devicePath) {
            return kInvalidPortHandle;
        }
    }
    if (port.Gone || port.FailingOpens != 0) {
        if (port.FailingOpens > 0 && !port.Gone) {
            --port.FailingOpens;
        }
        return kInvalidPortHandle;
    }
    ++port.OpenCount;
    const TPortHandle handle = NextHandle++;
    Open_[handle] = devicePath;
    return handle;
}

bool TFakeSerial::GetCommState(TPortHandle port, TCommState& state) {
    TFakePort* p = Find(port);
    if (p == nullptr) {
        return false;
    }
    state = p->State;
    return true;
}

bool TFakeSerial::SetCommState(TPortHandle port, const TCommState& state) {
    TFakePort* p = Find(port);
    if (p == nullptr || p->RejectSettings) {
        return false;
    }
    p->State = state;
    return true;
}

bool TFakeSerial::GetCommTimeouts(TPortHandle port, TCommTimeouts& timeouts) {
    TFakePort* p = Find(port);
    if (p == nullptr) {
        return false;
    }
    timeouts = p->Timeouts;
    return true;
}

bool TFakeSerial::SetCommTimeouts(TPortHandle port, const TCommTimeouts& timeouts) {
    TFakePort* p = Find(port);
    if (p == nullptr) {
        return false;
    }
    p->Timeouts = timeouts;
    return true;
}

bool TFakeSerial::Purge(TPortHandle port, std::uint32_t flags) {
    TFakePort* p = Find(port);
    if (p == nullptr) {
        return false;
    }
    p->Purges.push_back(flags);
    if (flags & kPurgeRxClear) {
        // Only what has arrived is purged; what the device sends later still comes.
        std::erase_if(p->Input, [&](const auto& in) { return in.first <= Clock.Now(); });
    }
    return true;
}

bool TFakeSerial::Write(TPortHandle port, const std::uint8_t* data, std::size_t size,
                        std::size_t& written) {
    written = 0;
    TFakePort* p = Find(port);
    if (p == nullptr || p->RejectWrites) {
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) {
        p->Written += static_cast<char>(data[i]);
        if (p->OnByte) {
            p->OnByte(*p, data[i], Clock.Now());
        }
    }
    written = size;
    return true;
}

bool TFakeSerial::Flush(TPortHandle port) {
    return Find(port) != nullptr;
}

bool TFakeSerial::BytesWaiting(TPortHandle port, std::uint32_t& count) {
    TFakePort* p = Find(port);
    if (p == nullptr) {
        return false;
    }
    const auto arrived = std::count_if(p->Input.begin(), p->Input.end(),
                                       [&](const auto& in) { return in.first <= Clock.Now(); });
    count = std::min<std::uint32_t>(static_cast<std::uint32_t>(arrived), p->ReportLimit);
    return true;
}

bool TFakeSerial::Read(TPortHandle port, std::uint8_t* data, std::size_t size, std::size_t& read) {
    read = 0;
    TFakePort* p = Find(port);
    if (p == nullptr || p->RejectReads) {
        return false;
    }
    while (read < size && read < p->ReadLimit && !p->Input.empty() &&
           p->Input.front().first <= Clock.Now()) {
        data[read++] = p->Input.front().second;
        p->Input.pop_front();
    }
    return true;
}

bool TFakeSerial::Close(TPortHandle port) {
    const auto open = Open_.find(port);
    if (open == Open_.end()) {
        return false;
    }
    // What the device has sent and nobody read goes with the port.
    TFakePort& p = Ports[open->second];
    std::erase_if(p.Input, [&](const auto& in) { return in.first <= Clock.Now(); });
    Open_.erase(open);
    return !CloseFails;
}

std::string IdentificationText(const std::string& model, const std::string& version,
                               const std::string& date) {
    return FromUtf8("ЗОРВИ прибор\r\n" + model + "\r\nSoftware version: " + version +
                        "\r\nDate: " + date + "\r\nГотов\r\n",
                    TCodePage::Windows1251);
}

void AnswerIdentification(TFakePort& port, std::string reply, std::chrono::milliseconds delay) {
    port.OnByte = [reply = std::move(reply), delay, last = std::uint8_t{0}](
                      TFakePort& self, std::uint8_t byte, std::chrono::milliseconds now) mutable {
        if (last == 'q' && byte == 'v') {
            self.Send(now + delay, reply);
        }
        last = byte;
    };
}

int TScriptedDialog::ShowModal() {
    ++Shows;
    Events.FormShow();
    while (ModalResult == kModalNone) {
        if (!TimerEnabled || Ticks >= MaxTicks) {
            // Nothing could ever end the wait: the person gives up.
            Events.StartButtonClick();
            break;
        }
        Clock.Time = std::max(Clock.Time, TimerStart + 1000ms);
        ++Ticks;
        if (BeforeTick) {
            BeforeTick(Ticks);
            if (ModalResult != kModalNone) {
                break; // pressed between ticks: the loop ends before the tick runs
            }
        }
        Events.CheckTimerTimer();
    }
    Events.FormClose();
    ++Closes;
    return ModalResult;
}

void TScriptedDialog::SetInfoFontColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    EXPECT_EQ(green, 0);
    EXPECT_EQ(blue, 0);
    Reds.push_back(red);
}

void TScriptedDialog::SetTimerEnabled(bool enabled) {
    if (enabled && !TimerEnabled) {
        TimerStart = Clock.Now();
    }
    TimerEnabled = enabled;
}

} // namespace zorvi::test
