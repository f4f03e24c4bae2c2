// SPDX-License-Identifier: MIT
#include "app/win32/keeping.h"

#include "app/about.h"
#include "app/files.h"
#include "app/program.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <zlib.h>

namespace tambrel {

namespace {
constexpr UINT_PTR kReplayTimer = 0x7A01, kRecordTimer = 0x7A02, kNoteTimer = 0x7A04, kPlayTimer = 0x7A05;
constexpr UINT kPlayEveryMs = 10; // the hand moves before every pass
constexpr UINT kNoteMs = 8000; // how long the note after a save shows
constexpr UINT kPaceMs = 2;            // how often a replay looks whether its next record is due
constexpr UINT kRecordEveryMs = 1000;

std::wstring fileName(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A default name that says when: "Tambrel 2026-12-07 21.40.05.png".
std::wstring timeStamped(const wchar_t* extension)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    wchar_t name[64];
    std::wcsftime(name, 64, L"Tambrel %Y-%m-%d %H.%M.%S", &local);
    return std::wstring(name) + extension;
}

// The user's folder for a kind of file, else their home folder: never the
// working folder, which a dialog with no folder would start in.
std::wstring knownFolder(REFKNOWNFOLDERID id)
{
    std::wstring out;
    for (const KNOWNFOLDERID* each : {&id, &FOLDERID_Profile}) {
        wchar_t* path = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(*each, 0, nullptr, &path))) out = path;
        CoTaskMemFree(path);
        if (!out.empty()) break;
    }
    return out;
}

// Where a kind of file goes: where it went last in this run, else the
// user's folder for it.
std::wstring folderFor(const std::wstring& last, REFKNOWNFOLDERID id) { return last.empty() ? knownFolder(id) : last; }

// The common file dialog; an empty name when the user cancelled.
std::wstring askForFile(HWND owner, bool save, const wchar_t* title, const wchar_t* filter, const wchar_t* extension,
                        const std::wstring& folder, const std::wstring& suggested)
{
    std::wstring name(32768, L'\0');
    std::copy(suggested.begin(), suggested.begin() + static_cast<ptrdiff_t>(std::min(suggested.size(), name.size() - 1)), name.begin());
    OPENFILENAMEW ask{};
    ask.lStructSize = sizeof ask;
    ask.hwndOwner = owner;
    ask.lpstrFilter = filter;
    ask.lpstrFile = name.data();
    ask.nMaxFile = static_cast<DWORD>(name.size());
    ask.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ask.lpstrTitle = title;
    ask.lpstrDefExt = extension;
    ask.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(save ? GetSaveFileNameW(&ask) : GetOpenFileNameW(&ask))) return {};
    return name.c_str();
}

void tell(HWND owner, const wchar_t* title, const std::string& text, UINT icon = MB_ICONWARNING)
{
    MessageBoxW(owner, wide(text).c_str(), title, MB_OK | icon);
}

// PNG text chunks ("tEXt": keyword, a zero byte, the text), put after the
// header chunk, where readers look for them. Written here rather than
// through the imaging component's metadata writer, which not every system
// carries for PNG.
void addPngText(std::vector<uint8_t>& png, const std::vector<std::pair<std::string, std::string>>& text)
{
    constexpr size_t kAfterHeader = 8 + 4 + 4 + 13 + 4; // signature, then IHDR's length, type, data and CRC
    if (png.size() < kAfterHeader) return;
    std::vector<uint8_t> chunks;
    for (const auto& [key, value] : text) {
        std::vector<uint8_t> chunk = {'t', 'E', 'X', 't'};
        chunk.insert(chunk.end(), key.begin(), key.end());
        chunk.push_back(0);
        chunk.insert(chunk.end(), value.begin(), value.end());
        const uint32_t length = static_cast<uint32_t>(chunk.size() - 4);
        const uint32_t crc = static_cast<uint32_t>(crc32(0, chunk.data(), static_cast<uInt>(chunk.size())));
        for (int shift = 24; shift >= 0; shift -= 8) chunks.push_back(static_cast<uint8_t>(length >> shift));
        chunks.insert(chunks.end(), chunk.begin(), chunk.end());
        for (int shift = 24; shift >= 0; shift -= 8) chunks.push_back(static_cast<uint8_t>(crc >> shift));
    }
    png.insert(png.begin() + kAfterHeader, chunks.begin(), chunks.end());
}

// The canvas's picture as a PNG through the Windows Imaging Component, made
// in memory (the file is then written whole, with the system's reason when
// it cannot be).
bool encodePng(const std::vector<uint8_t>& bgr, int w, int h, std::vector<uint8_t>& png, std::string& error)
{
    IWICImagingFactory* factory = nullptr;
    IStream* memory = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* options = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
    if (SUCCEEDED(hr)) hr = CreateStreamOnHGlobal(nullptr, TRUE, &memory);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(memory, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, &options);
    if (SUCCEEDED(hr)) hr = frame->Initialize(options);
    if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(w), static_cast<UINT>(h));
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(static_cast<UINT>(h), static_cast<UINT>(3 * w), static_cast<UINT>(bgr.size()),
                                const_cast<BYTE*>(bgr.data()));
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    HGLOBAL bytes = nullptr;
    if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(memory, &bytes);
    if (SUCCEEDED(hr)) {
        STATSTG about{};
        hr = memory->Stat(&about, STATFLAG_NONAME);
        const auto* data = static_cast<const uint8_t*>(GlobalLock(bytes));
        if (SUCCEEDED(hr) && data) png.assign(data, data + about.cbSize.QuadPart);
        if (data) GlobalUnlock(bytes);
        else hr = E_OUTOFMEMORY;
    }
    for (IUnknown* u : std::initializer_list<IUnknown*>{options, frame, encoder, memory, factory})
        if (u) u->Release();
    if (FAILED(hr)) error = systemReason(static_cast<DWORD>(hr));
    return SUCCEEDED(hr);
}
} // namespace


Keeping::~Keeping()
{
    if (m_shortcuts) DestroyAcceleratorTable(m_shortcuts);
}

void Keeping::attach(HWND window)
{
    m_window = window;
    HMENU system = GetSystemMenu(window, FALSE);
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING, SavePicture, L"Save &Picture...\tCtrl+S");
    AppendMenuW(system, MF_STRING, SaveSession, L"Save &Session...\tCtrl+Shift+S");
    AppendMenuW(system, MF_STRING, OpenSession, L"&Open Session...\tCtrl+O");
    AppendMenuW(system, MF_STRING, PlayByItself, L"Play by &Itself\tCtrl+Shift+P");
    AppendMenuW(system, MF_STRING, About, L"&About Tambrel...\tF1");
    ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'S', SavePicture},
                    {FVIRTKEY | FCONTROL | FSHIFT, 'S', SaveSession},
                    {FVIRTKEY | FCONTROL, 'O', OpenSession},
                    {FVIRTKEY, VK_F1, About},
                    {FVIRTKEY | FCONTROL | FSHIFT, 'P', PlayByItself},
                    {FVIRTKEY | FCONTROL, 'P', ReplayPause},
                    {FVIRTKEY | FCONTROL, VK_LEFT, ReplayBack},
                    {FVIRTKEY | FCONTROL, VK_RIGHT, ReplayForward},
                    {FVIRTKEY | FCONTROL, VK_HOME, ReplayStart},
                    {FVIRTKEY | FCONTROL, VK_END, ReplayEnd},
                    {FVIRTKEY | FCONTROL, VK_OEM_MINUS, ReplaySlower},
                    {FVIRTKEY | FCONTROL, VK_SUBTRACT, ReplaySlower},
                    {FVIRTKEY | FCONTROL, VK_OEM_PLUS, ReplayFaster},
                    {FVIRTKEY | FCONTROL, VK_ADD, ReplayFaster},
                    {FVIRTKEY | FCONTROL, VK_RETURN, ReplayTakeOver}};
    m_shortcuts = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
    m_bar.create(window);
    m_note.create(window, 600); // the note after a save: where the file went
}

// A file was saved: the note says what and where, and the menus can show
// it in its folder; its folder is where the next one of its kind goes.
void Keeping::kept(const wchar_t* what, const std::wstring& path, std::wstring& lastFolder)
{
    m_saved = path;
    const size_t slash = path.find_last_of(L"\\/");
    lastFolder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    RECT outer{};
    GetWindowRect(m_window, &outer);
    m_note.show(std::wstring(what) + L" saved as \u201C" + fileName(path) + L"\u201D in " + lastFolder +
                    L". Right-click the canvas: Show Saved File.",
                outer.left, outer.bottom + 4);
    SetTimer(m_window, kNoteTimer, kNoteMs, nullptr);
}

void Keeping::showSaved()
{
    if (m_saved.empty()) return;
    const std::wstring select = L"/select,\"" + m_saved + L"\"";
    ShellExecuteW(m_window, nullptr, L"explorer.exe", select.c_str(), nullptr, SW_SHOWNORMAL);
}

void Keeping::showContextMenu(int screenX, int screenY)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, SavePicture, L"Save &Picture...\tCtrl+S");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, SaveSession, L"Save &Session...\tCtrl+Shift+S");
    AppendMenuW(menu, MF_STRING, OpenSession, L"&Open Session...\tCtrl+O");
    if (!m_saved.empty()) AppendMenuW(menu, MF_STRING, ShowSaved, L"Show Saved &File");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | (playing() ? MF_CHECKED : 0), PlayByItself, L"Play by &Itself\tCtrl+Shift+P");
    AppendMenuW(menu, MF_STRING, About, L"&About Tambrel...\tF1");
    const UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, screenX, screenY, 0, m_window, nullptr);
    DestroyMenu(menu);
    if (chosen) onCommand(chosen);
}

bool Keeping::onCommand(UINT id, UINT code)
{
    const bool replaying = m_replay != nullptr;
    switch (id) {
    case ReplayPause:
    case ReplayBar::Play:
        if (replaying) m_replay->setPaused(!m_replay->paused(), replayClock());
        break;
    case ReplayBack: seekBy(-5000); break;
    case ReplayForward: seekBy(5000); break;
    case ReplayStart: if (replaying) seek(0); break;
    case ReplayEnd: if (replaying) seek(UINT32_MAX); break;
    case ReplaySlower: if (replaying) m_replay->stepSpeed(-1, replayClock()); break;
    case ReplayFaster: if (replaying) m_replay->stepSpeed(1, replayClock()); break;
    case ReplayBar::Speed:
        if (replaying && code == CBN_SELCHANGE) m_replay->setSpeed(m_bar.chosenSpeed(), replayClock());
        break;
    case ReplayTakeOver:
    case ReplayBar::TakeOver:
    case ReplayBar::Close: takeOver(); return true;
    case ReplayBar::Label:
    case ReplayBar::Timeline: return true;
    default:
        break;
    }
    if (id >= ReplayPause && id <= ReplayBar::Close) {
        if (m_replay) m_bar.refresh(*m_replay, true);
        pace();
        return true;
    }
    switch (id) {
    case SavePicture: savePicture(); return true;
    case ShowSaved: showSaved(); return true;
    case SaveSession: saveSession(); return true;
    case OpenSession: openSession(); return true;
    case PlayByItself:
        if (playing()) stopPlaying();
        else playByItself(Rnd::clockSeed());
        return true;
    case About: MessageBoxW(m_window, wide(aboutText(true, false, true)).c_str(), wide(kAboutTitle).c_str(), MB_OK | MB_ICONINFORMATION); return true;
    default: return false;
    }
}

void Keeping::playByItself(uint32_t seed)
{
    takeOver(); // a replay ends where it is
    m_pilot = std::make_unique<Autopilot>(Autopilot::Settings{seed});
    m_pilotFrom = GetTickCount();
    SetTimer(m_window, kPlayTimer, kPlayEveryMs, nullptr);
    CheckMenuItem(GetSystemMenu(m_window, FALSE), PlayByItself, MF_BYCOMMAND | MF_CHECKED);
}

void Keeping::stopPlaying()
{
    if (!m_pilot) return;
    KillTimer(m_window, kPlayTimer);
    m_pilot.reset();
    if (m_hand) m_hand(std::nullopt);
    CheckMenuItem(GetSystemMenu(m_window, FALSE), PlayByItself, MF_BYCOMMAND | MF_UNCHECKED);
}

bool Keeping::onTimer(UINT_PTR id)
{
    if (id == kPlayTimer) {
        if (!m_pilot) return true;
        // The hand's moves go in as a person's: the pointer first, then its press and its click.
        const Autopilot::Move move = m_pilot->next(GetTickCount() - m_pilotFrom);
        if (m_hand) m_hand(POINT{move.x, move.y});
        giveMove(m_program, move);
        return true;
    }
    if (id == kNoteTimer) {
        KillTimer(m_window, kNoteTimer);
        m_note.hide();
        return true;
    }
    if (id == kRecordTimer) {
        writeRecord(false);
        return true;
    }
    if (id != kReplayTimer) return false;
    if (!m_replay) return true;
    const SessionReplay::Step step = m_replay->tick(replayClock());
    if (step == SessionReplay::Step::Failed) return endReplay(m_replay->error()), true;
    if (step == SessionReplay::Step::Ended) return endReplay({}), true; // at the session's own end
    m_bar.refresh(*m_replay, false);
    pace();
    return true;
}

// Paused, with no seek on its way, the replay waits for the user: no timer.
void Keeping::pace()
{
    if (!m_replay) return;
    if (m_replay->paused() && !m_replay->seeking() && m_replay->copies().done()) {
        if (m_paced) KillTimer(m_window, kReplayTimer);
        m_paced = false;
        m_bar.refresh(*m_replay, true); // as it stands while it waits
    } else if (!m_paced) {
        SetTimer(m_window, kReplayTimer, kPaceMs, nullptr);
        m_paced = true;
    }
}

double Keeping::replayClock() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_replayStart).count();
}

void Keeping::seek(uint32_t ms)
{
    if (m_replay) m_replay->seek(ms, replayClock());
}

void Keeping::seekBy(int64_t ms)
{
    if (m_replay) m_replay->seekBy(ms, replayClock());
}

bool Keeping::onScroll(HWND control, int code)
{
    if (GetDlgCtrlID(control) != ReplayBar::Timeline) return false;
    if (!m_replay) return true;
    // A click on the track goes to the clicked time, as in every edition;
    // Page Up and Down from the keyboard go a minute.
    if ((code == TB_PAGEUP || code == TB_PAGEDOWN) && GetKeyState(VK_LBUTTON) < 0) m_bar.moveToPointer();
    seek(m_bar.trackPosition());
    m_bar.refresh(*m_replay, true);
    pace();
    return true;
}

bool Keeping::recordTo(const std::wstring& file, std::string& error)
{
    if (!m_record.start(narrow(file), error)) return false;
    SetTimer(m_window, kRecordTimer, kRecordEveryMs, nullptr);
    return true;
}

bool Keeping::writeRecord(bool always)
{
    std::string error;
    const RecordFile::Write write = m_record.update(always, error);
    if (write != RecordFile::Write::Failed && write != RecordFile::Write::FailedAgain) return true;
    std::fprintf(stderr, "tambrel: cannot write the session to %s: %s\n", m_record.path().c_str(), error.c_str());
    // Once, at the time; the run goes on and the file is tried every second.
    if (write == RecordFile::Write::Failed && m_window)
        tell(m_window, L"Recording",
             "Tambrel cannot write the session to " + m_record.path() + ": " + error +
                 ".\nThe file holds the session up to the last second it could be written. The whole session is kept in "
                 "memory: save it elsewhere with Save Session (Ctrl+Shift+S). Tambrel goes on trying the file every second.");
    return false;
}

void Keeping::replay(Session session, const std::wstring& name, uint32_t atMs)
{
    stopPlaying(); // the session plays instead
    if (m_replay) endReplay({});
    m_replayStart = std::chrono::steady_clock::now();
    m_replay = std::make_unique<ReplayControl>(m_program, std::move(session), narrow(name), true);
    m_replay->start(atMs, replayClock());
    m_bar.show(true);
    m_bar.refresh(*m_replay, true);
    SetTimer(m_window, kReplayTimer, kPaceMs, nullptr);
    m_paced = true;
}

void Keeping::endReplay(const std::string& problem)
{
    KillTimer(m_window, kReplayTimer);
    m_paced = false;
    if (!m_replay) return;
    m_replay->finish(); // the program is the user's from this state on
    m_replay.reset();
    m_bar.show(false);
    if (!problem.empty()) tell(m_window, L"Replay", "The replay stopped: " + problem + ".\nThe window is yours from where it stopped.");
}

void Keeping::takeOver()
{
    if (m_replay) endReplay({});
}

void Keeping::beforeClose()
{
    // The end of the run written while the window can still ask: where it
    // cannot be, the session is still in memory and the user may keep it
    // elsewhere.
    if (!m_record.active() || writeRecord(true)) return;
    const std::string text = "Tambrel could not write the end of the session to " + m_record.path() + ": " +
                             m_record.problem() +
                             ".\nThe file holds the session up to the last second it could be written.\n\nSave the "
                             "whole session elsewhere?";
    m_keptElsewhere = MessageBoxW(m_window, wide(text).c_str(), L"Recording", MB_YESNO | MB_ICONERROR) == IDYES && saveSession();
}

bool Keeping::finish()
{
    takeOver();
    KillTimer(m_window, kRecordTimer);
    m_window = nullptr; // gone: nothing is asked any more
    // The passes since the close too, where the file can take them.
    return writeRecord(true) || m_keptElsewhere;
}

void Keeping::savePicture()
{
    // The canvas as it is when the user asks, its exact pixels.
    constexpr int w = Canvas::kWidth, h = Canvas::kHeight;
    std::vector<uint8_t> bgr(static_cast<size_t>(3) * w * h);
    {
        std::lock_guard lock(m_program.stateLock);
        const uint32_t* p = m_program.canvas.pixels();
        for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) { // 0x00BBGGRR to blue, green, red
            bgr[3 * i] = static_cast<uint8_t>(p[i] >> 16);
            bgr[3 * i + 1] = static_cast<uint8_t>(p[i] >> 8);
            bgr[3 * i + 2] = static_cast<uint8_t>(p[i]);
        }
    }
    const auto text = m_program.pictureText();
    const std::wstring path = askForFile(m_window, true, L"Save Picture", L"PNG pictures (*.png)\0*.png\0", L"png",
                                         folderFor(m_pictureFolder, FOLDERID_Pictures), timeStamped(L".png"));
    if (path.empty()) return;
    std::string error;
    std::vector<uint8_t> png;
    if (encodePng(bgr, w, h, png, error)) {
        addPngText(png, text);
        if (writeWholeFile(narrow(path), png, error)) return kept(L"Picture", path, m_pictureFolder);
    }
    tell(m_window, L"Save Picture", "Tambrel could not save the picture to " + narrow(path) + ": " + error + ".");
}

bool Keeping::saveSession()
{
    // What is saved is the session as it is when the user asks.
    const std::vector<uint8_t> bytes = m_program.sessionFile();
    if (m_program.recorder().holdsScreenPictures() &&
        MessageBoxW(m_window, (wide(kScreenPictureNotice) + L"\n\nSave the session with the picture?").c_str(), L"Save Session",
                    MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2) != IDOK)
        return false;
    // Until it is saved or the user gives up: a failed save asks again, so
    // that a full disk never costs the session.
    std::wstring path = timeStamped(L".tambrel");
    for (;;) {
        path = askForFile(m_window, true, L"Save Session", L"Tambrel sessions (*.tambrel)\0*.tambrel\0", L"tambrel",
                          folderFor(m_sessionFolder, FOLDERID_Documents), path);
        if (path.empty()) return false;
        std::string error;
        if (writeWholeFile(narrow(path), bytes, error)) {
            kept(L"Session", path, m_sessionFolder);
            return true;
        }
        tell(m_window, L"Save Session",
             "Tambrel could not save the session to " + narrow(path) + ": " + error +
                 ".\nThe session is kept: choose another place for it, or cancel.");
    }
}

void Keeping::openSession()
{
    const std::wstring path =
        askForFile(m_window, false, L"Open Session", L"Tambrel sessions (*.tambrel)\0*.tambrel\0All files (*.*)\0*.*\0", nullptr,
                   folderFor(m_sessionFolder, FOLDERID_Documents), {});
    if (path.empty()) return;
    Session session;
    std::string error;
    if (!readSessionFile(narrow(path), session, error)) {
        tell(m_window, L"Open Session",
             "Tambrel cannot replay " + narrow(fileName(path)) + ": " + error + ".\nThe running session is as it was.");
        return;
    }
    replay(std::move(session), fileName(path));
}

} // namespace tambrel
