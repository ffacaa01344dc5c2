// SSL start-up: the process's SSL context, its settings and the cached DH groups.
#include "net/ssl_context.h"

#include "net/ssl_dh_groups.h"
#include "support/c_string.h"
#include "support/debug_log.h"

#include <cstdio>
#include <cstring>
#include <openssl/bn.h>
#include <openssl/dh.h>
#include <openssl/err.h>

const char ssl_cipher_list_anonymous[] = "aNULL:HIGH:@STRENGTH";
const char ssl_cipher_list_high[] = "HIGH:@STRENGTH";
const char ssl_cipher_list_authenticated[] = "HIGH:@STRENGTH:!aNULL";

SSL_CTX *ssl_context = nullptr;
const char *ssl_cipher_list = ssl_cipher_list_authenticated;

namespace {

char verify_chain_file[ssl_file_name_size];
char certificate_file[ssl_file_name_size];
char private_key_file[ssl_file_name_size];
extra_desc *extra_chain_files = nullptr;   // newest first
ssl_startup_hook_function startup_hook = nullptr;
DH *dh_cache[ssl_dh_group_count];

// OpenSSL error texts are at most this long (ERR_error_string needs 256 bytes).
constexpr int ssl_error_text_size = 256;

void store_file_name(char *buffer, const char *file)
{
    buffer[0] = '\0';
    if (file) {
        strncpy(buffer, file, ssl_file_name_size - 1);
        buffer[ssl_file_name_size - 1] = '\0';
    }
}

// Reports the failure of init_ssl: the file that failed to load, if any, then OpenSSL's first
// queued error. The rest of the queue is dropped so that it cannot be taken for a later error.
int init_ssl_failed(const char *what = nullptr, const char *file = nullptr)
{
    if (what) {
        char message[ssl_message_size];
        snprintf(message, sizeof message,
                 "Error in init_ssl(), unable to load server %s from file '%s'.", what, file);
        report_error(message, REPORT_RESOURCE);
    }
    char text[ssl_error_text_size];
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    report_error(text, REPORT_RESOURCE);
    ERR_clear_error();
    return 0;
}

void warn_dh(const char *what, int key_length, int is_export, uint32_t category)
{
    char message[ssl_message_size];
    snprintf(message, sizeof message,
             "Warning in get_tmp_dh_callback(), %s key length %4d, export %d.", what, key_length,
             is_export);
    report_error(message, category);
}

DH *build_dh(const ssl_dh_group &group)
{
    DH *dh = DH_new();
    BIGNUM *prime = BN_bin2bn(group.prime, group.prime_length, nullptr);
    BIGNUM *generator = BN_bin2bn(&group.generator, 1, nullptr);
    // DH_set0_pqg takes the numbers only when it succeeds.
    if (!dh || !prime || !generator || DH_set0_pqg(dh, prime, nullptr, generator) != 1) {
        BN_free(prime);
        BN_free(generator);
        DH_free(dh);
        return nullptr;
    }
    return dh;
}

} // namespace

int init_ssl()
{
    SSL_load_error_strings();
    SSL_library_init();

    const SSL_METHOD *method = SSLv23_method();
    if (!method)
        return init_ssl_failed();
    SSL_CTX *context = SSL_CTX_new(method);
    if (!context)
        return init_ssl_failed();
    // Connections made from an earlier context hold their own reference to it.
    SSL_CTX_free(ssl_context);
    ssl_context = context;

    if (SSL_CTX_set_options(ssl_context, SSL_OP_NO_SSLv2) == 0)
        return init_ssl_failed();
    if (!ssl_cipher_list || SSL_CTX_set_cipher_list(ssl_context, ssl_cipher_list) == 0)
        return init_ssl_failed();
    if (startup_hook)
        startup_hook();
    SSL_CTX_set_tmp_dh_callback(ssl_context, get_tmp_dh_callback);

    if (verify_chain_file[0]) {
        if (SSL_CTX_load_verify_locations(ssl_context, verify_chain_file, nullptr) != 1)
            return init_ssl_failed("certificate chain", verify_chain_file);
        for (const extra_desc *e = extra_chain_files; e; e = e->next)
            if (SSL_CTX_load_verify_locations(ssl_context, e->s_text, nullptr) != 1)
                return init_ssl_failed("extra certificate chain", e->s_text);
    }
    if (certificate_file[0] &&
        SSL_CTX_use_certificate_file(ssl_context, certificate_file, SSL_FILETYPE_PEM) != 1)
        return init_ssl_failed("certificate", certificate_file);
    if (private_key_file[0] &&
        SSL_CTX_use_RSAPrivateKey_file(ssl_context, private_key_file, SSL_FILETYPE_PEM) != 1)
        return init_ssl_failed("private key", private_key_file);
    return 1;
}

void ssl_use_anonymous_ciphers() { ssl_cipher_list = ssl_cipher_list_anonymous; }
void ssl_use_high_ciphers() { ssl_cipher_list = ssl_cipher_list_high; }
void ssl_use_authenticated_ciphers() { ssl_cipher_list = ssl_cipher_list_authenticated; }

void set_ssl_private_key_file(const char *file) { store_file_name(private_key_file, file); }
void set_ssl_certificate_file(const char *file) { store_file_name(certificate_file, file); }
void set_ssl_verify_chain_file(const char *file) { store_file_name(verify_chain_file, file); }

void add_ssl_extra_chain_file(const char *file)
{
    if (!file)
        return;
    extra_desc *record = new_extra_desc();
    record->s_text = tavi_strdup(file);
    if (!record->s_text) {
        free_extra_desc(record);
        return;
    }
    record->next = extra_chain_files;
    extra_chain_files = record;
}

void clear_ssl_extra_chain_files() { free_extra_list(&extra_chain_files); }

void set_ssl_startup_hook(ssl_startup_hook_function hook) { startup_hook = hook; }

const char *get_ssl_private_key_file() { return private_key_file; }
const char *get_ssl_certificate_file() { return certificate_file; }
const char *get_ssl_verify_chain_file() { return verify_chain_file; }
const extra_desc *get_ssl_extra_chain_files() { return extra_chain_files; }

DH *get_tmp_dh_callback(SSL *connection, int is_export, int key_length)
{
    (void)connection;
    if (key_length < 1024)
        warn_dh("requested short", key_length, is_export, REPORT_CONNECTION);
    int index = ssl_dh_group_index(key_length);
    if (index < 0) {
        warn_dh("unsupported", key_length, is_export, REPORT_FORMAT);
        return nullptr;
    }
    if (!dh_cache[index])
        dh_cache[index] = build_dh(ssl_dh_groups[index]);
    return dh_cache[index];
}
