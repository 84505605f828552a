#include "daemon/command/peer_owner.h"

#include "daemon/text/diagnostics.h"

#include <iphlpapi.h>

#include <condition_variable>
#include <mutex>
#include <set>

#include "common/unique_handle.h"

namespace {

const char kRefusedFormat[] = "%u refused connections of process %lu: another user's\n";

// The process ids below 8 are the system's own (idle, System): what the
// table reports for ends it cannot attribute.
const DWORD kFirstUserProcessId = 8;

bool SameEnd(DWORD address, DWORD port, const sockaddr_in& end) {
    return address == end.sin_addr.s_addr && static_cast<u_short>(port) == end.sin_port;
}

bool ReadTokenUser(HANDLE process, std::vector<BYTE>& sid) {
    UniqueHandle token;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) return false;
    token.reset(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return false;
    const PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    if (!::IsValidSid(user)) return false;
    const BYTE* bytes = static_cast<const BYTE*>(user);
    sid.assign(bytes, bytes + ::GetLengthSid(user));
    return true;
}

// The TCP table as one fetch, shared by every check that asked before the
// fetch began. Under Wine a fetch reads the descriptors of every process for
// every row (tens of milliseconds alone, far more with many connections
// open), so a burst of connections checking one by one, or all at once,
// would hold them all for seconds.
class SharedTcpTable {
public:
    bool Find(const sockaddr_in& peer, const sockaddr_in& local, DWORD& processId) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const unsigned long long asked = ++m_sequence;
        while (m_fetchedFrom < asked) {
            if (m_fetching) {
                m_fetched.wait(lock);
                continue;
            }
            m_fetching = true;
            const unsigned long long from = ++m_sequence;
            lock.unlock();
            std::vector<MIB_TCPROW_OWNER_PID> rows;
            const bool ok = Fetch(rows);
            lock.lock();
            m_rows.swap(rows);
            m_ok = ok;
            m_fetchedFrom = from;
            m_fetching = false;
            m_fetched.notify_all();
        }
        if (!m_ok) return false;
        for (const MIB_TCPROW_OWNER_PID& row : m_rows) {
            if (SameEnd(row.dwLocalAddr, row.dwLocalPort, peer) && SameEnd(row.dwRemoteAddr, row.dwRemotePort, local)) {
                processId = row.dwOwningPid;
                return true;
            }
        }
        return false;
    }

private:
    static bool Fetch(std::vector<MIB_TCPROW_OWNER_PID>& rows) {
        std::vector<BYTE> table;
        DWORD size = 0;
        DWORD result = ERROR_INSUFFICIENT_BUFFER;
        // The table can grow between the two calls.
        for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
            table.resize(size ? size : sizeof(MIB_TCPTABLE_OWNER_PID));
            size = static_cast<DWORD>(table.size());
            result = ::GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
        }
        if (result != NO_ERROR) return false;
        const auto* fetched = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
        rows.assign(fetched->table, fetched->table + fetched->dwNumEntries);
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_fetched;
    unsigned long long m_sequence = 0;
    unsigned long long m_fetchedFrom = 0;  // the sequence number at which the held table's fetch began
    bool m_fetching = false;
    bool m_ok = false;
    std::vector<MIB_TCPROW_OWNER_PID> m_rows;
};

class SystemPlatform : public PeerOwnerPlatform {
public:
    bool OwningProcess(const sockaddr_in& peer, const sockaddr_in& local, DWORD& processId) override {
        return m_table.Find(peer, local, processId);
    }

    bool ProcessUser(DWORD processId, std::vector<BYTE>& sid) override {
        UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        return process && ReadTokenUser(process.get(), sid);
    }

    bool OwnUser(std::vector<BYTE>& sid) override { return ReadTokenUser(::GetCurrentProcess(), sid); }

private:
    SharedTcpTable m_table;
};

std::mutex g_refusedMutex;
std::set<DWORD> g_refused;

}  // namespace

PeerOwner JudgePeerOwner(const sockaddr_in& peer, const sockaddr_in& local, PeerOwnerPlatform& platform,
                         DWORD* owningProcess) {
    DWORD processId = 0;
    if (!platform.OwningProcess(peer, local, processId) || processId < kFirstUserProcessId) return PeerOwner::Unknown;
    if (owningProcess) *owningProcess = processId;
    std::vector<BYTE> own;
    if (!platform.OwnUser(own)) return PeerOwner::Unknown;
    // A process of another user is closed to this one; so is its token.
    std::vector<BYTE> theirs;
    if (!platform.ProcessUser(processId, theirs)) return PeerOwner::OtherUser;
    return theirs == own ? PeerOwner::SameUser : PeerOwner::OtherUser;
}

PeerOwnerPlatform& SystemPeerOwnerPlatform() {
    static SystemPlatform platform;
    return platform;
}

bool MayServePeer(SOCKET accepted, unsigned short port, PeerOwnerPlatform& platform) {
    sockaddr_in peer = {}, local = {};
    int peerSize = sizeof(peer), localSize = sizeof(local);
    if (::getpeername(accepted, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
        ::getsockname(accepted, reinterpret_cast<sockaddr*>(&local), &localSize) != 0)
        return true;
    DWORD processId = 0;
    if (JudgePeerOwner(peer, local, platform, &processId) != PeerOwner::OtherUser) return true;
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(g_refusedMutex);
        first = g_refused.insert(processId).second;
    }
    if (first) PrintFormat(kRefusedFormat, static_cast<unsigned>(port), static_cast<unsigned long>(processId));
    return false;
}
