#include "service/PipeServer.h"

#include "pipes/PipeClient.h"
#include "win/Handle.h"
#include "win/ObjectOwner.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <new>

namespace vantrel {
namespace {

using namespace vantrel::testing;

std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) % 251);
    return bytes;
}

std::string Control(const char* tag) {
    uint32_t words[4] = {16, 0x4347414D, 0, 0x4347414D};
    std::memcpy(&words[2], tag, 4);
    return std::string(reinterpret_cast<const char*>(words), 16);
}

struct TReceived {
    std::mutex Lock;
    std::vector<std::string> Messages;
    size_t Count() {
        std::lock_guard<std::mutex> guard(Lock);
        return Messages.size();
    }
    TPipeServer::TOnMessage Handler() {
        return [this](const std::string& message) {
            std::lock_guard<std::mutex> guard(Lock);
            Messages.push_back(message);
        };
    }
};

// A plain client end that writes pipe messages exactly as given.
THandle RawClient(const std::wstring& name, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    const std::wstring path = L"\\\\.\\pipe\\" + name;
    // Between two clients the server may have no instance listening for a moment, and the
    // wait then fails at once: try again, as the program's client does.
    THandle pipe;
    for (int attempt = 0; attempt < 100 && !pipe; ++attempt) {
        if (attempt > 0)
            Sleep(20);
        WaitNamedPipeW(path.c_str(), 5000);
        pipe.Reset(CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (pipe)
        SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr);
    return pipe;
}

bool WriteRaw(const THandle& pipe, const std::string& message) {
    DWORD written = 0;
    return WriteFile(pipe.Get(), message.data(), static_cast<DWORD>(message.size()), &written,
                     nullptr) &&
           written == message.size();
}

TEST(PipeServerTest, ReadsEveryMessageOfTheProgramsClientWhole) {
    TReceived received;
    const std::wstring name = UniqueName(L"Pipe");
    TPipeServer server(name, received.Handler());
    DWORD error = 0;
    ASSERT_TRUE(server.Start(error)) << error;

    TPipeClient client;
    client.SetPipeName(name);
    ASSERT_TRUE(client.Connect(5000, true));
    const std::string framed = Pattern(200000, 1); // goes as "STMB", four parts, "ETMB"
    const std::string largest = Pattern(65534, 2); // the largest single pipe message
    ASSERT_TRUE(client.Write("40, QORsvc", 10));
    ASSERT_TRUE(client.Write(framed.data(), static_cast<uint32_t>(framed.size())));
    ASSERT_TRUE(client.Write(largest.data(), static_cast<uint32_t>(largest.size())));
    ASSERT_TRUE(client.Write("40, QORsvc", 10));
    client.WaitForQueueEmpty();
    ASSERT_TRUE(PumpUntil([&] { return received.Count() >= 4; }));
    EXPECT_EQ(1, server.Clients());
    {
        std::lock_guard<std::mutex> guard(received.Lock);
        ASSERT_EQ(4u, received.Messages.size());
        EXPECT_EQ("40, QORsvc", received.Messages[0]);
        EXPECT_TRUE(received.Messages[1] == framed) << received.Messages[1].size();
        EXPECT_TRUE(received.Messages[2] == largest) << received.Messages[2].size();
        EXPECT_EQ("40, QORsvc", received.Messages[3]);
    }
    client.Disconnect();
    EXPECT_TRUE(PumpUntil([&] { return server.Clients() == 0; }));
    server.Stop();
}

TEST(PipeServerTest, ALongSinglePipeMessageAndBrokenFramingFromRawClients) {
    TReceived received;
    const std::wstring name = UniqueName(L"Pipe");
    TPipeServer server(name, received.Handler());
    DWORD error = 0;
    ASSERT_TRUE(server.Start(error)) << error;

    // A client that frames a message and goes away in the middle: nothing of it is delivered.
    {
        THandle first = RawClient(name);
        ASSERT_TRUE(first);
        ASSERT_TRUE(WriteRaw(first, Control("STMB")));
        ASSERT_TRUE(WriteRaw(first, Pattern(1000, 3)));
    }
    THandle second = RawClient(name);
    ASSERT_TRUE(second);
    const std::string single = Pattern(300000, 4); // one pipe message, read in pieces
    ASSERT_TRUE(WriteRaw(second, single));
    // A new "STMB" drops the unfinished message; an "ETMB" without one is ignored.
    ASSERT_TRUE(WriteRaw(second, Control("STMB")));
    ASSERT_TRUE(WriteRaw(second, "dropped"));
    ASSERT_TRUE(WriteRaw(second, Control("STMB")));
    ASSERT_TRUE(WriteRaw(second, "kept "));
    ASSERT_TRUE(WriteRaw(second, "whole"));
    ASSERT_TRUE(WriteRaw(second, Control("ETMB")));
    ASSERT_TRUE(WriteRaw(second, Control("ETMB")));
    ASSERT_TRUE(WriteRaw(second, "40, QORsvc"));
    ASSERT_TRUE(PumpUntil([&] { return received.Count() >= 3; }));
    std::lock_guard<std::mutex> guard(received.Lock);
    ASSERT_EQ(3u, received.Messages.size());
    EXPECT_TRUE(received.Messages[0] == single) << received.Messages[0].size();
    EXPECT_EQ("kept whole", received.Messages[1]);
    EXPECT_EQ("40, QORsvc", received.Messages[2]);
}

TEST(PipeServerTest, AMessageBeyondTheLimitIsReadAndDropped) {
    TReceived received;
    const std::wstring name = UniqueName(L"Pipe");
    TPipeServer server(name, received.Handler());
    DWORD error = 0;
    ASSERT_TRUE(server.Start(error)) << error;
    THandle pipe = RawClient(name);
    ASSERT_TRUE(pipe);
    ASSERT_TRUE(WriteRaw(pipe, Control("STMB")));
    const std::string part = Pattern(65534, 5);
    for (size_t sent = 0; sent <= TPipeServer::kMaxMessage; sent += part.size())
        ASSERT_TRUE(WriteRaw(pipe, part));
    ASSERT_TRUE(WriteRaw(pipe, Control("ETMB")));
    ASSERT_TRUE(WriteRaw(pipe, "40, QORsvc"));
    ASSERT_TRUE(PumpUntil([&] { return received.Count() >= 1; }));
    std::lock_guard<std::mutex> guard(received.Lock);
    EXPECT_EQ(std::vector<std::string>{"40, QORsvc"}, received.Messages);
}

TEST(PipeServerTest, OnlyAdministratorsAndSystemMayOpenItAndTheyOwnIt) {
    PSECURITY_DESCRIPTOR descriptor = TPipeServer::NewPipeSecurity();
    ASSERT_NE(nullptr, descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(nullptr, dacl); // a null DACL would let everybody in
    ACL_SIZE_INFORMATION size{};
    ASSERT_TRUE(GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation));
    ASSERT_EQ(2u, size.AceCount);
    BYTE admins[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
    DWORD adminsSize = sizeof(admins), systemSize = sizeof(system);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &adminsSize));
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize));
    bool seenAdmins = false, seenSystem = false;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        ASSERT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType);
        PSID sid = &allowed->SidStart;
        seenAdmins = seenAdmins || EqualSid(sid, admins);
        seenSystem = seenSystem || EqualSid(sid, system);
    }
    EXPECT_TRUE(seenAdmins);
    EXPECT_TRUE(seenSystem);
    LocalFree(descriptor);

    // An administrator (every process under Wine) opens it, and sees that the Administrators
    // own it, which no program without their rights can make so.
    const std::wstring name = UniqueName(L"Pipe");
    TReceived received;
    TPipeServer server(name, received.Handler());
    DWORD error = 0;
    ASSERT_TRUE(server.Start(error)) << error;
    THandle pipe = RawClient(name);
    EXPECT_TRUE(pipe);
    EXPECT_TRUE(OwnedByAdministrators(pipe.Get()));
}

TEST(PipeServerTest, AnExceptionWhileServingEndsOnlyThatClientsSession) {
    TReceived received;
    auto record = received.Handler();
    const std::wstring name = UniqueName(L"Pipe");
    TPipeServer server(name, [&](const std::string& message) {
        if (message == "fail")
            throw std::bad_alloc();
        record(message);
    });
    DWORD error = 0;
    ASSERT_TRUE(server.Start(error)) << error;
    THandle first = RawClient(name);
    ASSERT_TRUE(first);
    ASSERT_TRUE(WriteRaw(first, "fail"));
    ASSERT_TRUE(PumpUntil([&] { return server.Clients() == 0 && !WriteRaw(first, "late"); }));

    THandle second = RawClient(name);
    ASSERT_TRUE(second);
    ASSERT_TRUE(WriteRaw(second, "40, QORsvc"));
    ASSERT_TRUE(PumpUntil([&] { return received.Count() == 1; }));
    std::lock_guard<std::mutex> guard(received.Lock);
    EXPECT_EQ("40, QORsvc", received.Messages[0]);
}

TEST(PipeServerTest, BroadcastsNeverWaitForAClientThatDoesNotRead) {
    TReceived received;
    const std::wstring name = UniqueName(L"Pipe");
    TPipeServer server(name, received.Handler());
    DWORD error = 0;
    ASSERT_TRUE(server.Start(error)) << error;
    server.Broadcast("first", "welcome");
    const THandle deaf = RawClient(name); // never reads
    const THandle reader = RawClient(name);
    ASSERT_TRUE(deaf && reader);
    ASSERT_TRUE(PumpUntil([&] { return server.Clients() == 2; }));
    // Far more than the pipe's buffer holds: a write that waited would never return here.
    const std::string line = Pattern(8192, 3);
    std::vector<std::string> got;
    char buffer[9000];
    for (int i = 0; i < 200; ++i) {
        server.Broadcast(line, "welcome");
        DWORD available = 0;
        while (PeekNamedPipe(reader.Get(), nullptr, 0, nullptr, &available, nullptr) &&
               available > 0) {
            DWORD read = 0;
            ASSERT_TRUE(ReadFile(reader.Get(), buffer, sizeof(buffer), &read, nullptr));
            got.emplace_back(buffer, read);
        }
    }
    // The reader got the welcome whole first, then the lines, each whole; nobody got "first".
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ("welcome", got[0]);
    for (size_t i = 1; i < got.size(); ++i)
        EXPECT_TRUE(got[i] == line) << i;
    // Still served: its message arrives, and the service stops.
    ASSERT_TRUE(WriteRaw(deaf, "40, QORsvc"));
    EXPECT_TRUE(PumpUntil([&] { return received.Count() == 1; }));
    server.Stop();
    EXPECT_EQ(0, server.Clients());
}

} // namespace
} // namespace vantrel
