#pragma once
// Whose process is on the other end of a loopback connection. Loopback is
// shared by every user logged on to the machine (fast user switching, a
// family PC, a terminal server): the daemon serves only programs of its own
// user. The TCP table names the process that owns the peer's end; that
// process's token names its user.
#include <winsock2.h>

#include <windows.h>

#include <vector>

enum class PeerOwner {
    SameUser,   // a process of the daemon's own user
    OtherUser,  // a process of another user, or one the daemon may not look at
    Unknown     // the platform names no process for the peer (served as ever)
};

// The platform calls behind the judgement, so that tests can play other users.
class PeerOwnerPlatform {
public:
    virtual ~PeerOwnerPlatform() = default;
    // The process that owns the TCP connection whose local end is `peer` and
    // whose remote end is `local`; false when the table has no such row.
    virtual bool OwningProcess(const sockaddr_in& peer, const sockaddr_in& local, DWORD& processId) = 0;
    // The user of the process (its token's user SID, as bytes); false when
    // the process cannot be opened or its token read.
    virtual bool ProcessUser(DWORD processId, std::vector<BYTE>& sid) = 0;
    virtual bool OwnUser(std::vector<BYTE>& sid) = 0;
};

// owningProcess: where to put the process id the table named, if any.
PeerOwner JudgePeerOwner(const sockaddr_in& peer, const sockaddr_in& local, PeerOwnerPlatform& platform,
                         DWORD* owningProcess = nullptr);

// The real calls: GetExtendedTcpTable, OpenProcess, OpenProcessToken.
PeerOwnerPlatform& SystemPeerOwnerPlatform();

// For a connection just accepted on `port`: false when another user's
// process made it. The refusal is printed once for each such process.
bool MayServePeer(SOCKET accepted, unsigned short port, PeerOwnerPlatform& platform = SystemPeerOwnerPlatform());
