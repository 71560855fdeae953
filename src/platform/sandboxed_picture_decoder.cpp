#include "platform/sandboxed_picture_decoder.hpp"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <glib.h>

#include "core/files/user_file.hpp"
#include "core/shell/program_path.hpp"
#include "core/thumbs/decode_budget.hpp"
#include "platform/decode_protocol.hpp"

extern char** environ;

namespace mev {

namespace {

constexpr const char* HELPER_NAME = "mev-decode";
// What a helper's address space holds besides decoded pixels: the loaders' libraries,
// their heaps and thread stacks (a helper that loads libvips maps some 150 MB before its
// first picture).
constexpr std::uint64_t CODE_AND_HEAP = 256ull << 20;
// Inside the sandbox: the read-only links "picture.<ext>" to the descriptor a helper
// reads its picture from.
constexpr const char* LINK_FOLDER = "/run/mev-decode";
// The private /tmp of a sandboxed helper.
constexpr std::uint64_t PRIVATE_TMP_BYTES = 256ull << 20;
// More idle helpers than decode slots would only take memory.
constexpr std::size_t MAX_IDLE = 8;
// A helper is replaced after that many decodes, so that what loaders leak stays small.
constexpr unsigned RETIRE_AFTER = 500;
// How long a helper may take to start (a loaded machine, a cold disk): apart from the
// decode's own limit, which a slow start must not turn into a sandbox that "fails".
constexpr std::chrono::seconds START_LIMIT{30};
// The longest picture a helper may send back.
constexpr std::uint64_t MAX_RESULT = 256ull << 20;

enum class Mode { Unknown, Sandboxed, Unsandboxed, Unavailable };

// One helper process and the program's end of its socket.
struct CHelperProcess {
    pid_t pid = -1;
    int socket = -1;
    unsigned uses = 0;
    bool used = false; // has decoded or read something: may have loaded libvips

    CHelperProcess() = default;
    CHelperProcess(const CHelperProcess&) = delete;
    CHelperProcess& operator=(const CHelperProcess&) = delete;
    // Lets an idle helper end by itself (it tidies its folder of links when its socket
    // closes); the destructor kills it if it has not within the limit.
    void Close(std::chrono::milliseconds limit = std::chrono::milliseconds(500))
    {
        if (socket >= 0)
            close(socket);
        socket = -1;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
            const pid_t ended = waitpid(pid, nullptr, WNOHANG);
            if (ended == pid || (ended < 0 && errno != EINTR))
                pid = -1;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~CHelperProcess()
    {
        if (socket >= 0)
            close(socket);
        if (pid > 0) {
            kill(pid, SIGKILL);
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
};

// What of the program's environment a helper sees: test switches and sanitizer options.
std::vector<std::string> HelperEnvironment()
{
    std::vector<std::string> environment{"MALLOC_ARENA_MAX=2"};
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        for (std::string_view prefix : {"MEV_DECODE_TEST_", "ASAN_OPTIONS=", "UBSAN_OPTIONS=", "LSAN_OPTIONS="}) {
            if (text.substr(0, prefix.size()) == prefix)
                environment.emplace_back(text);
        }
    }
    return environment;
}

std::string FindBubblewrap()
{
    gchar* found = g_find_program_in_path("bwrap");
    std::string path = found != nullptr ? found : "";
    g_free(found);
    return path;
}

// Starts the command with its socket on DECODE_SOCKET_FD, in a session of its own, and
// waits for it to say it is ready.
std::unique_ptr<CHelperProcess> Start(const std::vector<std::string>& command, const std::vector<std::string>& environment)
{
    int sockets[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return nullptr;
    auto helper = std::make_unique<CHelperProcess>();
    helper->socket = sockets[0];
    int theirs = sockets[1];
    if (theirs == DECODE_SOCKET_FD) {
        // dup2 onto itself would keep close-on-exec.
        theirs = fcntl(sockets[1], F_DUPFD_CLOEXEC, DECODE_SOCKET_FD + 1);
        close(sockets[1]);
        if (theirs < 0)
            return nullptr;
    }
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, DECODE_SOCKET_FD);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(theirs);
    if (failed != 0)
        return nullptr;
    helper->pid = pid;
    DecodeReply ready;
    if (!ReceiveAll(helper->socket, &ready, sizeof(ready), std::chrono::steady_clock::now() + START_LIMIT)
        || ready.type != static_cast<std::uint32_t>(DecodeReplyType::Ready))
        return nullptr;
    return helper;
}

} // namespace

class CSandboxedPictureDecoder::CPool {
public:
    explicit CPool(Options options) : m_options(std::move(options)) {}
    ~CPool()
    {
        std::deque<std::unique_ptr<CHelperProcess>> idle;
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
            idle.swap(m_idle);
        }
        m_changed.notify_all();
        // Before the spawner ends: its helpers die with it.
        EndAll(idle);
        if (m_spawner.joinable())
            m_spawner.join();
        m_idle.clear();
    }
    CPool(const CPool&) = delete;
    CPool& operator=(const CPool&) = delete;

    // Starts the warm helpers, unless they run already.
    void Warm()
    {
        std::lock_guard lock(m_mutex);
        m_lastUse = std::chrono::steady_clock::now();
        if (!m_spawner.joinable()) {
            StartSpawner();
        } else {
            const std::size_t have = m_idle.size() + m_out + m_warmLeft;
            if (have < m_options.warmCount)
                m_warmLeft += m_options.warmCount - static_cast<unsigned>(have);
        }
        m_changed.notify_all();
    }

    // While on, a helper that has never been used is kept ready past the idle limit.
    void KeepReady(bool on)
    {
        std::lock_guard lock(m_mutex);
        m_standby = on ? 1 : 0;
        if (on)
            StartSpawner(0);
        m_changed.notify_all();
    }

    // A ready helper; nothing when none can start.
    std::unique_ptr<CHelperProcess> Take()
    {
        std::unique_lock lock(m_mutex);
        StartSpawner();
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !m_idle.empty() || m_mode == Mode::Unavailable || m_stopping; });
        --m_waiting;
        if (m_idle.empty())
            return nullptr;
        auto helper = std::move(m_idle.front());
        m_idle.pop_front();
        ++m_out;
        m_lastUse = std::chrono::steady_clock::now();
        return helper;
    }

    // Back from Take: healthy, to decode again, or to be ended (null).
    void Give(std::unique_ptr<CHelperProcess> helper, bool counts = true)
    {
        if (helper)
            helper->used = true;
        if (helper && counts && ++helper->uses >= RETIRE_AFTER) {
            helper->Close();
            helper.reset();
        }
        std::lock_guard lock(m_mutex);
        --m_out;
        m_lastUse = std::chrono::steady_clock::now();
        if (helper && !m_stopping && m_idle.size() < MAX_IDLE)
            m_idle.push_back(std::move(helper));
        m_changed.notify_all();
    }

    void CountFailure() { m_failures.fetch_add(1); }
    std::uint64_t GetFailureCount() const { return m_failures.load(); }
    Mode GetMode() const { return m_mode.load(); }
    const Options& GetOptions() const { return m_options; }

private:
    // Each one told first, then each waited for.
    static void EndAll(std::deque<std::unique_ptr<CHelperProcess>>& helpers)
    {
        for (auto& helper : helpers)
            shutdown(helper->socket, SHUT_RDWR);
        for (auto& helper : helpers)
            helper->Close();
        helpers.clear();
    }

    // Under the lock.
    void StartSpawner() { StartSpawner(m_options.warmCount); }
    void StartSpawner(unsigned warm)
    {
        if (m_spawner.joinable() || m_stopping)
            return;
        // Helpers are started from a thread that lives as long as the pool: a helper
        // dies with the thread that started it.
        m_warmLeft = warm;
        m_spawner = std::thread([this] { RunSpawner(); });
    }

    void RunSpawner()
    {
        std::unique_lock lock(m_mutex);
        // Idle helpers the idle limit does not end: the unused ones kept ready.
        const auto standing = [&] {
            std::size_t fresh = 0;
            for (const auto& helper : m_idle)
                fresh += helper->used ? 0 : 1;
            return std::min(fresh, m_standby);
        };
        for (;;) {
            const auto needed = [&] {
                return m_stopping || m_idle.size() < m_waiting || m_warmLeft > 0 || m_idle.size() + m_out < m_standby;
            };
            const auto resting = [&] { return m_idle.size() > standing() && m_out == 0; };
            if (!needed()) {
                if (!resting()) {
                    m_changed.wait(lock, [&] { return needed() || resting(); });
                } else if (!m_changed.wait_until(lock, m_lastUse + m_options.idleLimit, [&] { return needed() || !resting(); })
                           && std::chrono::steady_clock::now() >= m_lastUse + m_options.idleLimit) {
                    // Nothing decoded for the idle limit: the idle helpers end, but for
                    // one kept ready, which a fresh one replaces if it was used (it may
                    // hold libvips and its loaders).
                    std::deque<std::unique_ptr<CHelperProcess>> all, idle;
                    all.swap(m_idle);
                    for (auto& helper : all)
                        (!helper->used && m_idle.size() < m_standby ? m_idle : idle).push_back(std::move(helper));
                    lock.unlock();
                    EndAll(idle); // waits for them to end: not under the lock
                    lock.lock();
                }
                continue;
            }
            if (m_stopping || m_mode == Mode::Unavailable)
                return;
            if (m_warmLeft > 0)
                --m_warmLeft;
            lock.unlock();
            auto helper = StartHelper();
            lock.lock();
            if (helper && m_idle.size() < MAX_IDLE)
                m_idle.push_back(std::move(helper));
            m_changed.notify_all();
        }
    }

    std::vector<std::string> HelperCommand() const
    {
        std::vector<std::string> command{m_options.helperPath};
        if (m_options.memoryLimit > 0) {
            command.emplace_back("--memory");
            command.push_back(std::to_string(m_options.memoryLimit));
        }
        return command;
    }

    // Under bubblewrap while it works; without it when it never did or fails a few times
    // in a row; none at all when helpers cannot start even so.
    std::unique_ptr<CHelperProcess> StartHelper()
    {
        if (m_mode == Mode::Unknown || m_mode == Mode::Sandboxed) {
            const std::string bubblewrap = m_options.sandbox ? FindBubblewrap() : "";
            if (!bubblewrap.empty()) {
                std::vector<std::string> program = HelperCommand();
                program.emplace_back("--links");
                program.emplace_back(LINK_FOLDER);
                if (auto helper = Start(MakeSandboxCommand(bubblewrap, program, m_options.extensions), {})) {
                    m_mode = Mode::Sandboxed;
                    m_startFailures = 0;
                    return helper;
                }
                if (m_mode == Mode::Sandboxed && ++m_startFailures < MAX_START_FAILURES)
                    return nullptr;
            }
            g_message("Pictures are decoded in helper processes without a sandbox: %s",
                      !m_options.sandbox ? "the sandbox is turned off"
                      : bubblewrap.empty() ? "bubblewrap (bwrap) is not installed"
                                           : "bubblewrap cannot make one here");
            m_mode = Mode::Unsandboxed;
            m_startFailures = 0;
        }
        if (m_mode == Mode::Unsandboxed) {
            if (auto helper = Start(HelperCommand(), HelperEnvironment())) {
                m_startFailures = 0;
                return helper;
            }
            if (++m_startFailures >= MAX_START_FAILURES) {
                g_message("Pictures cannot be decoded: the decode helper %s does not start",
                          m_options.helperPath.c_str());
                m_mode = Mode::Unavailable;
            }
        }
        return nullptr;
    }

    static constexpr unsigned MAX_START_FAILURES = 3;
    const Options m_options;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<CHelperProcess>> m_idle;
    std::size_t m_waiting = 0;
    std::size_t m_out = 0; // taken, not yet given back
    std::chrono::steady_clock::time_point m_lastUse = std::chrono::steady_clock::now();
    unsigned m_warmLeft = 0;
    std::size_t m_standby = 0; // unused helpers kept ready (KeepReady)
    bool m_stopping = false;
    std::thread m_spawner;
    std::atomic<Mode> m_mode{Mode::Unknown};
    unsigned m_startFailures = 0; // the spawner's own
    std::atomic<std::uint64_t> m_failures{0};
};

namespace {

using Pool = CSandboxedPictureDecoder::CPool;

// One decode by the helper; 'healthy' tells whether it may decode again.
std::optional<EncodedPicture> Exchange(CHelperProcess& helper, const DecodeRequest& request, int fd,
                                       std::chrono::milliseconds limit, bool& healthy)
{
    healthy = false;
    if (!SendWithFd(helper.socket, &request, sizeof(request), fd))
        return std::nullopt;
    CDecodeBudget& budget = CDecodeBudget::Instance();
    std::unique_ptr<CDecodeMemory> room;
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        DecodeReply reply;
        if (!ReceiveAll(helper.socket, &reply, sizeof(reply), deadline))
            return std::nullopt; // crashed, or over the time limit
        switch (static_cast<DecodeReplyType>(reply.type)) {
        case DecodeReplyType::Room: {
            room.reset();
            DecodeAnswer answer;
            if (reply.bytes <= budget.GetTotal()) {
                room = std::make_unique<CDecodeMemory>(budget, reply.bytes);
                answer.granted = room->IsHeld() ? 1 : 0;
            }
            if (!SendAll(helper.socket, &answer, sizeof(answer)))
                return std::nullopt;
            // Waiting for room is not the helper's time.
            deadline = std::chrono::steady_clock::now() + limit;
            break;
        }
        case DecodeReplyType::Failed:
            healthy = true;
            return std::nullopt;
        case DecodeReplyType::Result: {
            if (reply.bytes > MAX_RESULT)
                return std::nullopt;
            EncodedPicture picture;
            picture.bytes.resize(reply.bytes);
            if (!ReceiveAll(helper.socket, picture.bytes.data(), picture.bytes.size(), deadline))
                return std::nullopt;
            reply.mimeType[sizeof(reply.mimeType) - 1] = '\0';
            picture.mimeType = reply.mimeType;
            picture.sourceWidth = reply.width;
            picture.sourceHeight = reply.height;
            picture.damaged = reply.damaged != 0;
            healthy = true;
            return picture;
        }
        default:
            return std::nullopt;
        }
    }
}

// One request to a helper, for the file open as fd; nothing when no helper can start.
std::optional<EncodedPicture> Ask(Pool& pool, DecodeKind kind, const std::string& path, int fd, int size)
{
    auto helper = pool.Take();
    if (!helper)
        return std::nullopt;
    DecodeRequest request;
    request.kind = static_cast<std::uint32_t>(kind);
    request.size = size;
    const std::string extension = PictureExtensionOf(path);
    std::strncpy(request.extension, extension.c_str(), sizeof(request.extension) - 1);
    bool healthy = false;
    auto answer = Exchange(*helper, request, fd, pool.GetOptions().timeLimit, healthy);
    if (healthy) {
        // Reading a header leaves next to nothing behind in a helper: a folder sorted by
        // date does not retire one every few hundred pictures.
        pool.Give(std::move(helper), kind != DecodeKind::Info);
    } else {
        pool.CountFailure();
        helper.reset(); // killed, if it still runs
        pool.Give(nullptr);
    }
    return answer;
}

std::optional<EncodedPicture> Decode(Pool& pool, DecodeKind kind, const std::string& path, int size)
{
    CUniqueFd file;
    if (!OpenRegularFile(path, file))
        return std::nullopt;
    return Ask(pool, kind, path, file.Get(), size);
}

} // namespace

CSandboxedPictureDecoder::CSandboxedPictureDecoder(Options options) : m_pool(std::make_shared<CPool>(std::move(options)))
{
}

CSandboxedPictureDecoder::~CSandboxedPictureDecoder() = default;

std::string CSandboxedPictureDecoder::FindHelper()
{
    const std::string folder = GetProgramFolder();
    if (folder.empty())
        return {};
    for (const std::string& candidate :
         {folder + "/" + HELPER_NAME, folder + "/../libexec/mev/" + HELPER_NAME, folder + "/../" + HELPER_NAME}) {
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            char* resolved = realpath(candidate.c_str(), nullptr);
            std::string path = resolved != nullptr ? resolved : candidate;
            free(resolved);
            return path;
        }
    }
    return {};
}

std::uint64_t CSandboxedPictureDecoder::GetDefaultMemoryLimit()
{
#if defined(__SANITIZE_ADDRESS__)
    return 0; // the sanitizer's shadow memory takes terabytes of address space
#else
    return CDecodeBudget::Instance().GetTotal() + CODE_AND_HEAP;
#endif
}

std::vector<std::string> CSandboxedPictureDecoder::MakeSandboxCommand(const std::string& bubblewrap,
                                                                      const std::vector<std::string>& program,
                                                                      const std::vector<std::string>& extensions)
{
    std::vector<std::string> command{bubblewrap, "--unshare-all", "--die-with-parent", "--new-session", "--cap-drop", "ALL",
                                     "--clearenv", "--setenv", "MALLOC_ARENA_MAX", "2"};
    for (const std::string& entry : HelperEnvironment()) {
        const std::size_t equals = entry.find('=');
        if (entry.rfind("MALLOC_", 0) != 0 && equals != std::string::npos)
            command.insert(command.end(), {"--setenv", entry.substr(0, equals), entry.substr(equals + 1)});
    }
    command.insert(command.end(), {"--ro-bind", "/usr", "/usr"});
    // The top folders that merged-/usr systems keep as links into /usr.
    for (const char* top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
        char target[256] = {};
        const ssize_t length = readlink(top, target, sizeof(target) - 1);
        struct stat info {};
        if (length > 0)
            command.insert(command.end(), {"--symlink", std::string(target, static_cast<std::size_t>(length)), top});
        else if (stat(top, &info) == 0 && S_ISDIR(info.st_mode))
            command.insert(command.end(), {"--ro-bind", top, top});
    }
    // What the loaders read of /etc: the linker's cache, fonts for vector pictures, the
    // ImageMagick policy.
    for (const char* etc : {"/etc/ld.so.cache", "/etc/fonts", "/etc/ImageMagick-6", "/etc/ImageMagick-7", "/etc/alternatives"})
        command.insert(command.end(), {"--ro-bind-try", etc, etc});
    command.insert(command.end(), {"--proc", "/proc", "--dev", "/dev"});
    if (!program.empty() && program.front().rfind("/usr/", 0) != 0) {
        command.insert(command.end(), {"--ro-bind", program.front(), program.front()});
        // The helper's libvips module, next to it.
        const std::string module = GetFolderOf(program.front()) + "/" + VIPS_MODULE_NAME;
        command.insert(command.end(), {"--ro-bind-try", module, module});
    }
    const std::string fd = "/proc/self/fd/" + std::to_string(DECODE_PICTURE_FD);
    for (const std::string& extension : extensions)
        command.insert(command.end(), {"--symlink", fd, std::string(LINK_FOLDER) + "/picture" + extension});
    // ImageMagick's loaders (BMP, TGA, PSD...) read a copy of the picture and spool
    // through temporary files: a private /tmp in memory, gone with the helper. Nothing else is writable: the new
    // root and /dev are made read-only once all is in place.
    command.insert(command.end(), {"--perms", "0700", "--size", std::to_string(PRIVATE_TMP_BYTES), "--tmpfs", "/tmp",
                                   "--remount-ro", "/dev", "--remount-ro", "/"});
    command.emplace_back("--");
    command.insert(command.end(), program.begin(), program.end());
    return command;
}

std::uint64_t CSandboxedPictureDecoder::GetFailureCount() const
{
    return m_pool->GetFailureCount();
}

bool CSandboxedPictureDecoder::IsSandboxed() const
{
    return m_pool->GetMode() == Mode::Sandboxed;
}

std::optional<EncodedPicture> CSandboxedPictureDecoder::MakeThumbnail(const std::string& path, int size) const
{
    if (size <= 0)
        return std::nullopt;
    return Decode(*m_pool, DecodeKind::Thumbnail, path, size);
}

std::optional<EncodedPicture> CSandboxedPictureDecoder::MakeRendition(const std::string& path) const
{
    return Decode(*m_pool, DecodeKind::Rendition, path, 0);
}

void CSandboxedPictureDecoder::Prepare() const
{
    m_pool->Warm();
}

void CSandboxedPictureDecoder::KeepReady(bool on) const
{
    m_pool->KeepReady(on);
}

std::vector<std::string> CSandboxedPictureDecoder::GetPictureExtensions() const
{
    return m_pool->GetOptions().extensions;
}

std::optional<PictureInfo> CSandboxedPictureDecoder::ReadPictureInfo(const std::string& path) const
{
    CUniqueFd file;
    struct stat st {};
    if (!OpenRegularFile(path, file) || fstat(file.Get(), &st) != 0)
        return std::nullopt;
    const auto answer = Ask(*m_pool, DecodeKind::Info, path, file.Get(), 0);
    if (!answer)
        return std::nullopt;
    auto info = DecodePictureInfo(answer->bytes);
    if (info)
        info->fileSize = static_cast<std::uint64_t>(st.st_size);
    return info;
}

} // namespace mev
