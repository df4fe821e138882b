// A stand-in for the time-limit service: serves the service's pipe in message mode to any
// number of clients, reads every message, logs one line per message and, for tests, does
// what its control pipe tells it (see README.md). This file holds the control channel and
// the program's start; the sessions on the service's pipe are in PipeSessions.cpp.
#include "PipeSessions.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

using namespace standin;

namespace {

std::string Reply(const std::string& command) {
    auto word = [&](const char* prefix) { return command.rfind(prefix, 0) == 0; };
    auto argument = [&]() {
        size_t space = command.find(' ');
        return space == std::string::npos ? std::string() : command.substr(space + 1);
    };
    if (command == "ping")
        return "ok";
    if (command == "stats") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        char text[200];
        std::snprintf(text, sizeof(text),
                      "clients=%zu messages=%llu bytes=%llu pipemessages=%llu flooded=%llu "
                      "sessions=%d",
                      LiveSessions().size(), static_cast<unsigned long long>(gMessages),
                      static_cast<unsigned long long>(gBytes),
                      static_cast<unsigned long long>(gPipeMessages),
                      static_cast<unsigned long long>(gFlooded), gSessionObjects.load());
        return text;
    }
    if (command == "last") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        return std::string(gLast.begin(), gLast.end());
    }
    if (command == "reset") {
        std::lock_guard<std::mutex> guard(gStatsLock);
        gMessages = gBytes = gPipeMessages = gFlooded = 0;
        gLast.clear();
        return "ok";
    }
    if (command == "echo on" || command == "echo off") {
        gEcho = command == "echo on";
        return "ok";
    }
    if (command == "stall on") {
        gStalled = true;
        ResetEvent(gResumeEvent.Get());
        SetEvent(gStallEvent.Get());
        // Answer only when no session has a read outstanding any more.
        for (int i = 0; i < 200; ++i) {
            bool reading = false;
            for (auto& session : LiveSessions())
                reading = reading || session->Reading();
            if (!reading)
                break;
            Sleep(10);
        }
        return "ok";
    }
    if (command == "stall off") {
        gStalled = false;
        ResetEvent(gStallEvent.Get());
        SetEvent(gResumeEvent.Get());
        return "ok";
    }
    if (command == "close") {
        for (auto& session : LiveSessions())
            session->Close();
        return "ok";
    }
    if (word("flood ")) {
        const std::string how = argument();
        TFlood mode = TFlood::None;
        uint32_t size = 0;
        if (how == "short")
            mode = TFlood::Short;
        else if (how == "multi")
            mode = TFlood::Multi;
        else if (how.rfind("huge ", 0) == 0) {
            mode = TFlood::Huge;
            size = static_cast<uint32_t>(std::stoul(how.substr(5)));
        } else if (how != "off")
            return "error: unknown flood";
        auto live = LiveSessions();
        if (live.empty() && mode != TFlood::None)
            return "error: no client";
        for (auto& session : live)
            session->Flood(mode, size);
        return "ok";
    }
    if (word("send ") || word("raw ") || word("rawhex ")) {
        Bytes message;
        if (word("rawhex ")) {
            std::string hex = argument();
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                message.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        } else {
            message = Pattern(static_cast<uint32_t>(std::stoul(argument())));
        }
        auto live = LiveSessions();
        if (live.empty())
            return "error: no client";
        for (auto& session : live) {
            if (word("send "))
                session->SendFramed(message);
            else
                session->Send(message);
        }
        return "ok";
    }
    if (command == "exit") {
        SetEvent(gStopEvent.Get());
        return "ok";
    }
    return "error: unknown command";
}

// Reads one message from a control client; empty when it could not be read.
std::string ReadCommand(HANDLE pipe) {
    Bytes buffer(65536);
    std::string command;
    const THandle event = NewEvent();
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.Get();
        DWORD count = 0;
        BOOL ok =
            ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &count, &overlapped);
        DWORD error = ok ? 0 : GetLastError();
        if (error == ERROR_IO_PENDING) {
            ok = GetOverlappedResult(pipe, &overlapped, &count, TRUE);
            error = ok ? 0 : GetLastError();
        }
        command.append(reinterpret_cast<char*>(buffer.data()), count);
        if (error != ERROR_MORE_DATA)
            return error == 0 ? command : std::string();
    }
}

void WriteReply(HANDLE pipe, const std::string& reply) {
    const THandle event = NewEvent();
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    DWORD count = 0;
    if (!WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &count, &overlapped) &&
        GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(pipe, &overlapped, &count, TRUE);
    FlushFileBuffers(pipe);
}

void ServeControl(THandle pipe) {
    while (pipe && WaitForSingleObject(gStopEvent.Get(), 0) != WAIT_OBJECT_0) {
        if (!AwaitClient(pipe.Get()))
            break;
        std::string command = ReadCommand(pipe.Get());
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
            command.pop_back();
        std::string reply;
        try {
            reply = Reply(command);
        } catch (...) {
            reply = "error: bad argument";
        }
        WriteReply(pipe.Get(), reply);
        DisconnectNamedPipe(pipe.Get());
    }
}

void Usage() {
    std::fwprintf(
        stderr, L"usage: QorStandIn [--pipe NAME] [--control NAME] [--log PATH] [--user-owned]\n");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (i + 1 < argc && arg == L"--pipe")
            gOptions.pipeName = argv[++i];
        else if (i + 1 < argc && arg == L"--control")
            gOptions.controlName = argv[++i];
        else if (i + 1 < argc && arg == L"--log")
            gOptions.logPath = argv[++i];
        else if (arg == L"--user-owned")
            gOptions.userOwned = true;
        else {
            Usage();
            return 2;
        }
    }
    if (gOptions.controlName.empty())
        gOptions.controlName = gOptions.pipeName + L".control";
    if (gOptions.logPath.empty())
        gOptions.logPath = DefaultLogPath();

    // Wine lets a second server create the first instance of a pipe that exists already, so a
    // second stand-in for the same name is refused by a named mutex as well.
    std::wstring guardName = L"Local\\QorStandIn." + gOptions.pipeName;
    const THandle guard(CreateMutexW(nullptr, FALSE, guardName.c_str()));
    if (!guard || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fwprintf(stderr, L"QorStandIn: \\\\.\\pipe\\%ls is served already\n",
                      gOptions.pipeName.c_str());
        return 1;
    }
    gStopEvent = NewEvent();
    gResumeEvent = NewEvent(true);
    gStallEvent = NewEvent();
    THandle data = MakePipe(gOptions.pipeName, true);
    THandle control = MakePipe(gOptions.controlName, true);
    if (!data || !control) {
        std::fwprintf(stderr, L"QorStandIn: cannot serve \\\\.\\pipe\\%ls (error %lu)\n",
                      gOptions.pipeName.c_str(), GetLastError());
        return 1;
    }
    std::thread dataThread(ServeData, std::move(data));
    std::wprintf(L"ready \\\\.\\pipe\\%ls control \\\\.\\pipe\\%ls log %ls\n",
                 gOptions.pipeName.c_str(), gOptions.controlName.c_str(), gOptions.logPath.c_str());
    std::fflush(stdout);
    ServeControl(std::move(control));
    SetEvent(gStopEvent.Get());
    dataThread.join();
    // Every session sees the stop event and ends.
    AwaitSessionsEnded();
    return 0;
}
