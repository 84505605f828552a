// Who may use the daemon's ports: the owner check with the platform calls
// played by the test (Wine runs every process as one user), and once with
// the real calls on a loopback connection of this process's own.
#include "daemon/command/peer_owner.h"

#include "daemon/command/unique_socket.h"
#include "tests/daemon/command/wire_client.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace {

const std::vector<BYTE> kOwnUser = {1, 1, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0xE8, 0x03};
const std::vector<BYTE> kOtherUser = {1, 1, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0xE9, 0x03};

class PlayedPlatform : public PeerOwnerPlatform {
public:
    bool tableNamesPeer = true;
    DWORD owningProcess = 4242;
    bool ownUserReadable = true;
    std::map<DWORD, std::vector<BYTE>> users;  // processes whose token can be read

    bool OwningProcess(const sockaddr_in&, const sockaddr_in&, DWORD& processId) override {
        processId = owningProcess;
        return tableNamesPeer;
    }
    bool ProcessUser(DWORD processId, std::vector<BYTE>& sid) override {
        auto found = users.find(processId);
        if (found == users.end()) return false;
        sid = found->second;
        return true;
    }
    bool OwnUser(std::vector<BYTE>& sid) override {
        sid = kOwnUser;
        return ownUserReadable;
    }
};

sockaddr_in Loopback(unsigned short port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    return address;
}

TEST(PeerOwner, OnlyTheDaemonsOwnUserIsServedAndAnUnnamedPeerAsEver) {
    const struct {
        const char* what;
        bool tableNamesPeer;
        DWORD process;
        bool readable;
        std::vector<BYTE> user;
        PeerOwner expected;
    } cases[] = {
        {"a process of the same user", true, 4242, true, kOwnUser, PeerOwner::SameUser},
        {"a process of another user", true, 4242, true, kOtherUser, PeerOwner::OtherUser},
        {"a process the daemon may not open", true, 4242, false, {}, PeerOwner::OtherUser},
        {"no row in the table (a Linux client under Wine)", false, 0, true, kOwnUser, PeerOwner::Unknown},
        {"a row owned by the system's idle process", true, 0, true, kOtherUser, PeerOwner::Unknown},
        {"a row owned by System", true, 4, true, kOtherUser, PeerOwner::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlayedPlatform platform;
        platform.tableNamesPeer = c.tableNamesPeer;
        platform.owningProcess = c.process;
        if (c.readable) platform.users[c.process] = c.user;
        EXPECT_EQ(JudgePeerOwner(Loopback(50000), Loopback(19723), platform), c.expected);
    }
    PlayedPlatform blind;
    blind.ownUserReadable = false;
    blind.users[4242] = kOtherUser;
    EXPECT_EQ(JudgePeerOwner(Loopback(50000), Loopback(19723), blind), PeerOwner::Unknown)
        << "without its own user the daemon cannot tell anyone apart";
}

// The real TCP table and token calls name this process as the owner of its
// own client end, so a program of the daemon's user is served.
TEST(PeerOwner, RealPlatformNamesAProcessOfThisUser) {
    StartWinsock();
    UniqueSocket listening(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    ASSERT_TRUE(listening);
    sockaddr_in address = Loopback(0);
    ASSERT_EQ(::bind(listening.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listening.get(), 1), 0);
    int size = sizeof(address);
    ASSERT_EQ(::getsockname(listening.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
    WireClient client;
    ASSERT_TRUE(client.Connect(::ntohs(address.sin_port)));
    UniqueSocket accepted(::accept(listening.get(), nullptr, nullptr));
    ASSERT_TRUE(accepted);

    sockaddr_in peer = {}, local = {};
    int peerSize = sizeof(peer), localSize = sizeof(local);
    ASSERT_EQ(::getpeername(accepted.get(), reinterpret_cast<sockaddr*>(&peer), &peerSize), 0);
    ASSERT_EQ(::getsockname(accepted.get(), reinterpret_cast<sockaddr*>(&local), &localSize), 0);
    DWORD processId = 0;
    ASSERT_TRUE(SystemPeerOwnerPlatform().OwningProcess(peer, local, processId)) << "no row for the client's end";
    EXPECT_EQ(processId, ::GetCurrentProcessId());
    EXPECT_EQ(JudgePeerOwner(peer, local, SystemPeerOwnerPlatform()), PeerOwner::SameUser);
    EXPECT_TRUE(MayServePeer(accepted.get(), 19723));

    // Every accept pays for one check: its cost, printed.
    const int kRounds = 20;
    const ULONGLONG started = ::GetTickCount64();
    for (int i = 0; i < kRounds; ++i) JudgePeerOwner(peer, local, SystemPeerOwnerPlatform());
    printf("owner check: %.1f ms a connection\n", static_cast<double>(::GetTickCount64() - started) / kRounds);
}

}  // namespace
