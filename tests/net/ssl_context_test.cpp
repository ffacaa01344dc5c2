// SSL start-up: settings, failures and their reports, the DH groups, and real TLS handshakes
// with openssl s_client against a context made by init_ssl.
#include "net/ssl_context.h"

#include "net/ssl_dh_groups.h"
#include "support/debug_log.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/bn.h>
#include <openssl/dh.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Every test starts from the start-up defaults.
class SslContext : public ::testing::Test {
protected:
    void SetUp() override { reset_settings(); }
    void TearDown() override { reset_settings(); }
    static void reset_settings()
    {
        ssl_use_authenticated_ciphers();
        set_ssl_private_key_file(nullptr);
        set_ssl_certificate_file(nullptr);
        set_ssl_verify_chain_file(nullptr);
        clear_ssl_extra_chain_files();
        set_ssl_startup_hook(nullptr);
        report_error_set_mask(0);
    }
};

// A self-signed RSA certificate and its key, made by the openssl command in `dir`.
bool make_certificate(const test_util::temp_dir &dir, const std::string &stem,
                      const std::string &common_name = "localhost")
{
    test_util::run_result made = test_util::run(
        {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
         dir / (stem + ".key"), "-out", dir / (stem + ".crt"), "-days", "2", "-subj",
         "/CN=" + common_name});
    return made.status == 0;
}

int trust_store_size()
{
    return sk_X509_OBJECT_num(X509_STORE_get0_objects(SSL_CTX_get_cert_store(ssl_context)));
}

bool has_anonymous_cipher(SSL_CTX *context)
{
    STACK_OF(SSL_CIPHER) *ciphers = SSL_CTX_get_ciphers(context);
    for (int i = 0; i < sk_SSL_CIPHER_num(ciphers); i++)
        if (SSL_CIPHER_get_auth_nid(sk_SSL_CIPHER_value(ciphers, i)) == NID_auth_null)
            return true;
    return false;
}

int hook_calls = 0;
SSL_CTX *hook_saw_context = nullptr;
bool hook_saw_ciphers = false;

void recording_hook()
{
    hook_calls++;
    hook_saw_context = ssl_context;
    hook_saw_ciphers = ssl_context && sk_SSL_CIPHER_num(SSL_CTX_get_ciphers(ssl_context)) > 0;
}

} // namespace

TEST_F(SslContext, NoFilesSucceedsAndLoadsNothing)
{
    test_util::log_capture log;
    ASSERT_EQ(init_ssl(), 1);
    ASSERT_NE(ssl_context, nullptr);
    EXPECT_EQ(SSL_CTX_get0_certificate(ssl_context), nullptr);
    EXPECT_EQ(SSL_CTX_get0_privatekey(ssl_context), nullptr);
    EXPECT_EQ(trust_store_size(), 0);
    EXPECT_EQ(SSL_CTX_get_verify_mode(ssl_context), SSL_VERIFY_NONE);
    EXPECT_FALSE(has_anonymous_cipher(ssl_context));
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(ERR_peek_error(), 0u);
}

TEST_F(SslContext, CipherListSettersReachTheContext)
{
    struct {
        void (*setter)();
        const char *list;
        bool anonymous;
    } cases[] = {
        {ssl_use_anonymous_ciphers, "aNULL:HIGH:@STRENGTH", true},
        {ssl_use_high_ciphers, "HIGH:@STRENGTH", true},
        {ssl_use_authenticated_ciphers, "HIGH:@STRENGTH:!aNULL", false},
    };
    for (const auto &c : cases) {
        c.setter();
        EXPECT_STREQ(ssl_cipher_list, c.list);
        ASSERT_EQ(init_ssl(), 1) << c.list;
        EXPECT_EQ(has_anonymous_cipher(ssl_context), c.anonymous) << c.list;
    }
}

TEST_F(SslContext, StartupHookRunsOnceAfterTheCipherList)
{
    hook_calls = 0;
    set_ssl_startup_hook(recording_hook);
    ASSERT_EQ(init_ssl(), 1);
    EXPECT_EQ(hook_calls, 1);
    EXPECT_EQ(hook_saw_context, ssl_context);
    EXPECT_TRUE(hook_saw_ciphers);

    set_ssl_startup_hook(nullptr);
    ASSERT_EQ(init_ssl(), 1);
    EXPECT_EQ(hook_calls, 1);
}

TEST_F(SslContext, RejectedCipherListReportsOpenSslText)
{
    const char *bad_list = "NO-SUCH-CIPHER-AT-ALL";
    // What OpenSSL itself says about this list.
    SSL_CTX *probe = SSL_CTX_new(TLS_method());
    ASSERT_NE(probe, nullptr);
    ASSERT_EQ(SSL_CTX_set_cipher_list(probe, bad_list), 0);
    char expected[256];
    ERR_error_string_n(ERR_get_error(), expected, sizeof expected);
    ERR_clear_error();
    SSL_CTX_free(probe);
    ASSERT_NE(std::string(expected).find("no cipher match"), std::string::npos) << expected;

    test_util::log_capture log;
    ssl_cipher_list = bad_list;
    EXPECT_EQ(init_ssl(), 0);
    EXPECT_NE(ssl_context, nullptr);   // the context made before the failure stays
    EXPECT_EQ(log.lines(), std::vector<std::string>{expected});
    EXPECT_EQ(ERR_peek_error(), 0u);

    // Reported in category 1 and no other: masking bit 1 hides it, masking all else does not.
    log.clear();
    report_error_set_mask(REPORT_RESOURCE);
    EXPECT_EQ(init_ssl(), 0);
    EXPECT_EQ(log.text(), "");
    report_error_set_mask(~uint32_t(REPORT_RESOURCE));
    EXPECT_EQ(init_ssl(), 0);
    EXPECT_EQ(log.lines(), std::vector<std::string>{expected});
}

TEST_F(SslContext, FileNamesAreCutAt511Characters)
{
    struct {
        void (*setter)(const char *);
        const char *(*getter)();
    } files[] = {
        {set_ssl_private_key_file, get_ssl_private_key_file},
        {set_ssl_certificate_file, get_ssl_certificate_file},
        {set_ssl_verify_chain_file, get_ssl_verify_chain_file},
    };
    std::string long_name(600, 'n');
    for (size_t i = 0; i < long_name.size(); i++)
        long_name[i] = char('a' + i % 26);
    for (const auto &f : files) {
        f.setter(long_name.c_str());
        EXPECT_EQ(std::string(f.getter()), long_name.substr(0, 511));
        f.setter("/etc/ssl/x.pem");
        EXPECT_STREQ(f.getter(), "/etc/ssl/x.pem");
        f.setter(std::string(511, 'q').c_str());
        EXPECT_EQ(std::string(f.getter()), std::string(511, 'q'));
        f.setter(nullptr);
        EXPECT_STREQ(f.getter(), "");
    }
}

TEST_F(SslContext, FileLoadFailuresNameTheFile)
{
    test_util::temp_dir dir;
    ASSERT_TRUE(make_certificate(dir, "server"));
    ASSERT_TRUE(make_certificate(dir, "other"));
    const std::string cert = dir / "server.crt", key = dir / "server.key";
    const std::string missing = dir / "missing.pem", other_key = dir / "other.key";
    ASSERT_TRUE(test_util::write_file(dir / "garbage.pem", "not a certificate\n"));
    const std::string garbage = dir / "garbage.pem";

    struct {
        std::string verify, extra, certificate, private_key;
        std::string message;
    } cases[] = {
        {missing, "", "", "", "certificate chain from file '" + missing + "'"},
        {garbage, "", "", "", "certificate chain from file '" + garbage + "'"},
        {cert, missing, "", "", "extra certificate chain from file '" + missing + "'"},
        {"", "", missing, "", "certificate from file '" + missing + "'"},
        {"", "", garbage, "", "certificate from file '" + garbage + "'"},
        {"", "", "", missing, "private key from file '" + missing + "'"},
        {"", "", cert, other_key, "private key from file '" + other_key + "'"},   // mismatch
        {"", "", cert, cert, "private key from file '" + cert + "'"},   // no key in the file
    };
    for (const auto &c : cases) {
        reset_settings();
        set_ssl_verify_chain_file(c.verify.c_str());
        if (!c.extra.empty())
            add_ssl_extra_chain_file(c.extra.c_str());
        set_ssl_certificate_file(c.certificate.c_str());
        set_ssl_private_key_file(c.private_key.c_str());
        test_util::log_capture log;
        EXPECT_EQ(init_ssl(), 0) << c.message;
        std::vector<std::string> lines = log.lines();
        ASSERT_EQ(lines.size(), 2u) << log.text();
        EXPECT_EQ(lines[0], "Error in init_ssl(), unable to load server " + c.message + ".");
        EXPECT_EQ(lines[1].rfind("error:", 0), 0u) << lines[1];
        EXPECT_NE(lines[1], "error:00000000:lib(0)::reason(0)");
        EXPECT_EQ(ERR_peek_error(), 0u);
    }

    // The good pair loads.
    reset_settings();
    set_ssl_certificate_file(cert.c_str());
    set_ssl_private_key_file(key.c_str());
    test_util::log_capture log;
    ASSERT_EQ(init_ssl(), 1);
    EXPECT_NE(SSL_CTX_get0_certificate(ssl_context), nullptr);
    EXPECT_NE(SSL_CTX_get0_privatekey(ssl_context), nullptr);
    EXPECT_EQ(SSL_CTX_check_private_key(ssl_context), 1);
    EXPECT_EQ(log.text(), "");
}

TEST_F(SslContext, ExtraChainFilesLoadNewestFirstAndOnlyWithAVerifyChain)
{
    test_util::temp_dir dir;
    for (const char *stem : {"chain", "a", "b"})
        ASSERT_TRUE(make_certificate(dir, stem, stem));
    const std::string a = dir / "a.crt", b = dir / "b.crt";
    const std::string missing_a = dir / "missing-a.pem", missing_b = dir / "missing-b.pem";

    add_ssl_extra_chain_file(nullptr);
    EXPECT_EQ(get_ssl_extra_chain_files(), nullptr);
    add_ssl_extra_chain_file(missing_a.c_str());
    add_ssl_extra_chain_file(missing_b.c_str());
    const extra_desc *list = get_ssl_extra_chain_files();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(std::string(list->s_text), missing_b);
    ASSERT_NE(list->next, nullptr);
    EXPECT_EQ(std::string(list->next->s_text), missing_a);
    EXPECT_EQ(list->next->next, nullptr);

    {
        // Without a verify chain file they are not even tried.
        test_util::log_capture log;
        EXPECT_EQ(init_ssl(), 1);
        EXPECT_EQ(trust_store_size(), 0);
        EXPECT_EQ(log.text(), "");
    }
    {
        // With one, the newest (B) is tried first.
        set_ssl_verify_chain_file((dir / "chain.crt").c_str());
        test_util::log_capture log;
        EXPECT_EQ(init_ssl(), 0);
        ASSERT_FALSE(log.lines().empty());
        EXPECT_EQ(log.lines()[0], "Error in init_ssl(), unable to load server extra certificate "
                                  "chain from file '" + missing_b + "'.");
    }
    {
        // B loads before A is tried: a missing A is named only after a good B.
        clear_ssl_extra_chain_files();
        add_ssl_extra_chain_file(missing_a.c_str());
        add_ssl_extra_chain_file(b.c_str());
        test_util::log_capture log;
        EXPECT_EQ(init_ssl(), 0);
        EXPECT_EQ(trust_store_size(), 2);   // the verify chain and B
        ASSERT_FALSE(log.lines().empty());
        EXPECT_EQ(log.lines()[0], "Error in init_ssl(), unable to load server extra certificate "
                                  "chain from file '" + missing_a + "'.");
    }
    {
        clear_ssl_extra_chain_files();
        add_ssl_extra_chain_file(a.c_str());
        add_ssl_extra_chain_file(b.c_str());
        test_util::log_capture log;
        EXPECT_EQ(init_ssl(), 1);
        EXPECT_EQ(trust_store_size(), 3);
        EXPECT_EQ(SSL_CTX_get_verify_mode(ssl_context), SSL_VERIFY_NONE);
        EXPECT_EQ(log.text(), "");
    }
}

TEST_F(SslContext, DhCallbackServesStoredSizesWithWarnings)
{
    const std::string short_512 =
        "Warning in get_tmp_dh_callback(), requested short key length  512, export 0.";
    const std::string short_1000 =
        "Warning in get_tmp_dh_callback(), requested short key length 1000, export 1.";
    const std::string unsupported_1000 =
        "Warning in get_tmp_dh_callback(), unsupported key length 1000, export 1.";
    struct {
        int bits;
        int is_export;
        bool served;
        std::vector<std::string> lines;
    } cases[] = {
        {512, 0, true, {short_512}},
        {768, 0, true, {"Warning in get_tmp_dh_callback(), requested short key length  768, "
                        "export 0."}},
        {1000, 1, false, {short_1000, unsupported_1000}},
        {1024, 0, true, {}},
        {1536, 0, true, {}},
        {2048, 0, true, {}},
        {3072, 1, true, {}},
        {4096, 0, true, {}},
        {8192, 0, false, {"Warning in get_tmp_dh_callback(), unsupported key length 8192, "
                          "export 0."}},
        {-1, 0, false, {"Warning in get_tmp_dh_callback(), requested short key length   -1, "
                        "export 0.",
                        "Warning in get_tmp_dh_callback(), unsupported key length   -1, "
                        "export 0."}},
    };
    for (const auto &c : cases) {
        test_util::log_capture log;
        DH *dh = get_tmp_dh_callback(nullptr, c.is_export, c.bits);
        EXPECT_EQ(log.lines(), c.lines) << c.bits;
        if (!c.served) {
            EXPECT_EQ(dh, nullptr) << c.bits;
            continue;
        }
        ASSERT_NE(dh, nullptr) << c.bits;
        EXPECT_EQ(DH_bits(dh), c.bits);
        EXPECT_EQ(get_tmp_dh_callback(nullptr, 0, c.bits), dh) << "not cached: " << c.bits;
    }

    // The categories: short 128, unsupported 64.
    test_util::log_capture log;
    report_error_set_mask(~uint32_t(REPORT_CONNECTION));
    EXPECT_EQ(get_tmp_dh_callback(nullptr, 1, 1000), nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{short_1000});
    log.clear();
    report_error_set_mask(~uint32_t(REPORT_FORMAT));
    EXPECT_EQ(get_tmp_dh_callback(nullptr, 1, 1000), nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{unsupported_1000});
}

TEST_F(SslContext, StoredGroupsAreSoundSafePrimes)
{
    // The published primes, from OpenSSL's own tables (512 bits has none: it was generated).
    BIGNUM *(*published[ssl_dh_group_count])(BIGNUM *) = {
        nullptr, BN_get_rfc2409_prime_768, BN_get_rfc2409_prime_1024,
        BN_get_rfc3526_prime_1536, BN_get_rfc3526_prime_2048, BN_get_rfc3526_prime_3072,
        BN_get_rfc3526_prime_4096};
    const int sizes[ssl_dh_group_count] = {512, 768, 1024, 1536, 2048, 3072, 4096};
    BN_CTX *numbers = BN_CTX_new();
    ASSERT_NE(numbers, nullptr);
    test_util::log_capture log;   // takes the short-length warnings of 512 and 768 bits
    for (int i = 0; i < ssl_dh_group_count; i++) {
        const ssl_dh_group &group = ssl_dh_groups[i];
        EXPECT_EQ(group.bits, sizes[i]);
        EXPECT_EQ(group.prime_length, sizes[i] / 8);
        EXPECT_EQ(group.generator, 2);
        EXPECT_EQ(ssl_dh_group_index(sizes[i]), i);

        DH *dh = get_tmp_dh_callback(nullptr, 0, group.bits);
        ASSERT_NE(dh, nullptr) << group.bits;
        const BIGNUM *p = nullptr, *q = nullptr, *g = nullptr;
        DH_get0_pqg(dh, &p, &q, &g);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(BN_num_bits(p), group.bits);
        EXPECT_TRUE(BN_is_word(g, 2));
        std::vector<unsigned char> bytes(size_t(BN_num_bytes(p)));
        BN_bn2bin(p, bytes.data());
        EXPECT_EQ(bytes, std::vector<unsigned char>(group.prime, group.prime + group.prime_length));

        int codes = -1;
        EXPECT_EQ(DH_check(dh, &codes), 1) << group.bits;
        EXPECT_EQ(codes, 0) << group.bits;

        if (published[i]) {
            BIGNUM *reference = published[i](nullptr);
            EXPECT_EQ(BN_cmp(p, reference), 0) << group.bits;
            BN_free(reference);
            continue;
        }
        // The generated group has no published value: check that it is a safe prime here too.
        EXPECT_EQ(BN_check_prime(p, numbers, nullptr), 1) << group.bits;
        BIGNUM *half = BN_new();
        ASSERT_TRUE(BN_rshift1(half, p));
        EXPECT_EQ(BN_check_prime(half, numbers, nullptr), 1) << group.bits;
        BN_free(half);
    }
    BN_CTX_free(numbers);
    EXPECT_EQ(ssl_dh_group_index(1000), -1);
    EXPECT_EQ(ssl_dh_group_index(0), -1);
}

namespace {

// A listening TCP socket on 127.0.0.1 with a port chosen by the system; closed on destruction.
class loopback_listener {
public:
    loopback_listener()
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            listen(fd_, 1) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~loopback_listener()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    int port() const { return port_; }
    // The accepted connection, with reads and writes bounded to `seconds`, or -1.
    int accept_one(int seconds)
    {
        struct pollfd ready = {fd_, POLLIN, 0};
        if (poll(&ready, 1, seconds * 1000) != 1)
            return -1;
        int connection = accept(fd_, nullptr, nullptr);
        if (connection >= 0) {
            struct timeval limit = {seconds, 0};
            setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        }
        return connection;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

struct handshake_result {
    int accepted = 0;                  // SSL_accept's result on this side
    std::string version, cipher;       // as this side negotiated them
    test_util::run_result client;      // s_client's exit status and output
};

const char greeting[] = "greetings from the morvelle test server\n";

// Serves one TLS connection from ssl_context to `openssl s_client` with the extra arguments:
// accepts, completes the handshake, sends the greeting and closes.
handshake_result serve_one_client(const std::vector<std::string> &client_arguments,
                                  int security_level = -1)
{
    handshake_result result;
    loopback_listener listener;
    if (listener.port() == 0)
        return result;
    std::vector<std::string> argv = {"openssl", "s_client", "-connect",
                                     "127.0.0.1:" + std::to_string(listener.port()), "-ign_eof"};
    argv.insert(argv.end(), client_arguments.begin(), client_arguments.end());
    test_util::run_options options;
    options.timeout_seconds = 60;   // s_client is killed by PID after this
    std::thread client([&] { result.client = test_util::run(argv, options); });

    int connection = listener.accept_one(30);
    if (connection >= 0) {
        SSL *ssl = SSL_new(ssl_context);
        if (ssl) {
            if (security_level >= 0)
                SSL_set_security_level(ssl, security_level);
            SSL_set_fd(ssl, connection);
            result.accepted = SSL_accept(ssl);
            if (result.accepted == 1) {
                result.version = SSL_get_version(ssl);
                result.cipher = SSL_get_cipher_name(ssl);
                SSL_write(ssl, greeting, int(strlen(greeting)));
                SSL_shutdown(ssl);
            }
            SSL_free(ssl);
        }
        close(connection);
    }
    ERR_clear_error();
    client.join();
    return result;
}

bool contains(const std::string &text, const std::string &piece)
{
    return text.find(piece) != std::string::npos;
}

} // namespace

TEST_F(SslContext, ServesARealTlsClient)
{
    test_util::temp_dir dir;
    ASSERT_TRUE(make_certificate(dir, "server"));
    set_ssl_certificate_file((dir / "server.crt").c_str());
    set_ssl_private_key_file((dir / "server.key").c_str());
    test_util::log_capture log;
    ASSERT_EQ(init_ssl(), 1) << log.text();

    handshake_result served = serve_one_client({});
    const std::string &out = served.client.out;
    EXPECT_EQ(served.accepted, 1) << served.client.err;
    EXPECT_EQ(served.client.status, 0) << served.client.err;
    EXPECT_TRUE(contains(out, "CN = localhost")) << out;
    EXPECT_TRUE(contains(out, ", Cipher is " + served.cipher)) << out;
    EXPECT_TRUE(contains(out, "Protocol  : " + served.version) ||
                contains(out, "New, " + served.version)) << out;
    EXPECT_TRUE(contains(out, greeting)) << out;   // application data flowed after the handshake
    EXPECT_EQ(log.text(), "");
}

TEST_F(SslContext, DheHandshakeUsesTheStoredGroup)
{
    test_util::temp_dir dir;
    ASSERT_TRUE(make_certificate(dir, "server"));
    set_ssl_certificate_file((dir / "server.crt").c_str());
    set_ssl_private_key_file((dir / "server.key").c_str());
    ASSERT_EQ(init_ssl(), 1);

    // OpenSSL asks the callback for 1024 bits, which both ends refuse at their default security
    // level: lower it on both sides of this one connection.
    const char *cipher = "DHE-RSA-AES256-GCM-SHA384";
    handshake_result served =
        serve_one_client({"-tls1_2", "-cipher", std::string(cipher) + ":@SECLEVEL=1"}, 1);
    const std::string &out = served.client.out;
    EXPECT_EQ(served.accepted, 1) << served.client.err;
    EXPECT_EQ(served.cipher, cipher);
    EXPECT_EQ(served.version, "TLSv1.2");
    EXPECT_TRUE(contains(out, "Server Temp Key: DH, 1024 bits")) << out;
    EXPECT_TRUE(contains(out, greeting)) << out;
}
