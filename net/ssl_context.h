// SSL start-up: the process's one SSL context, its cipher list, server files and DH groups.
#pragma once

#include "support/extra_desc.h"

#include <openssl/ssl.h>

// Buffer size of each stored file name; longer names keep their first ssl_file_name_size - 1
// characters.
constexpr int ssl_file_name_size = 512;
// Buffer size of the messages init_ssl and get_tmp_dh_callback format.
constexpr int ssl_message_size = 1024;

// The cipher lists the setters choose from.
extern const char ssl_cipher_list_anonymous[];       // "aNULL:HIGH:@STRENGTH"
extern const char ssl_cipher_list_high[];            // "HIGH:@STRENGTH"
extern const char ssl_cipher_list_authenticated[];   // "HIGH:@STRENGTH:!aNULL", the initial one

// The context every SSL connection is made from: null until init_ssl() has created it, then
// kept for the life of the process (only a repeated init_ssl() replaces it).
extern SSL_CTX *ssl_context;
// The cipher list init_ssl() gives the context and the TCP socket gives each new connection.
extern const char *ssl_cipher_list;

typedef void (*ssl_startup_hook_function)();

// All settings and the cached DH groups are process-wide and unlocked: the setters and init_ssl()
// run on one thread before any networking starts.

// ---- start-up ----------------------------------------------------------------------------

// Loads OpenSSL's error strings and initialises the library, creates ssl_context from the
// version-flexible method with SSLv2 off and ssl_cipher_list, calls the start-up hook if one is
// set, installs get_tmp_dh_callback, then loads the files that are set: the verify chain file
// and after it every extra chain file, newest first, into the trust store (the extra files only
// when a verify chain file is set), the PEM certificate file and the PEM RSA private key file.
// No peer verification is switched on. With no files set, no file is touched.
// Returns 1 on success. On failure returns 0 after reporting (category 1) the failing file's
// message, if a file failed, and then OpenSSL's text for the first error of its queue; the
// queue is left empty. A context created before the failure stays in ssl_context. Called
// again, it replaces ssl_context with a new context (connections keep the one they came from).
[[nodiscard]] int init_ssl();

// ---- settings (take effect at the next init_ssl(); the cipher list also at the next
// connection) --------------------------------------------------------------------------------

void ssl_use_anonymous_ciphers();       // ssl_cipher_list_anonymous
void ssl_use_high_ciphers();            // ssl_cipher_list_high
void ssl_use_authenticated_ciphers();   // ssl_cipher_list_authenticated

// Each stores a copy of `file` (cut to ssl_file_name_size - 1 characters); null stores the empty
// name, which means "not set".
void set_ssl_private_key_file(const char *file);
void set_ssl_certificate_file(const char *file);
void set_ssl_verify_chain_file(const char *file);

// Puts a copy of `file` at the front of the extra chain file list; null adds nothing.
void add_ssl_extra_chain_file(const char *file);
// Empties the extra chain file list, giving its records back to their pool.
void clear_ssl_extra_chain_files();

// Stores the function init_ssl() calls after setting the cipher list; null removes it.
void set_ssl_startup_hook(ssl_startup_hook_function hook);

// ---- queries -----------------------------------------------------------------------------

const char *get_ssl_private_key_file();    // never null; "" when not set
const char *get_ssl_certificate_file();    // never null; "" when not set
const char *get_ssl_verify_chain_file();   // never null; "" when not set
// The extra chain file list, newest first; each record's s_text is the file name.
const extra_desc *get_ssl_extra_chain_files();

// ---- temporary Diffie-Hellman parameters -------------------------------------------------

// The context's temporary DH callback. Returns the stored group of exactly `key_length` bits
// (512, 768, 1024, 1536, 2048, 3072 or 4096), built on first use and then returned as the same
// object for the life of the process; the caller does not own it. A length below 1024 is
// warned about first (category 128). Any other length is warned about (category 64) and gets
// null; so does a group that cannot be built (nothing is cached then, so the next request tries
// again). `connection` is not used and `is_export` appears only in the warnings. The cache is
// not synchronised: handshakes that may call this run on one thread at a time.
DH *get_tmp_dh_callback(SSL *connection, int is_export, int key_length);
