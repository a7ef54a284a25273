// corlune-track-keyring: the program's one door to the desktop's Secret Service.
//
// libsecret brings GLib's GIO, two D-Bus threads and libgcrypt into the process that uses it,
// resident for the life of the time clock, which needs the store only while it signs in. So the
// time clock runs this small program for each lookup or store, the way git runs its credential
// helpers, and never loads any of it.
//
//   corlune-track-keyring lookup    stdin: account                stdout: the secret's bytes
//   corlune-track-keyring store     stdin: account, NUL, secret
//
// Exit status: 0 found or stored; 1 no such item, or the store refused or is unavailable;
// 2 misuse. The account and the secret travel on pipes, never on the command line, which every
// user of the machine can read. Items: schema "com.corlune.track", attributes "service"
// ("com.corlune.track") and "account" ("<employee>|<job>").
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <libsecret/secret.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int success = 0;
constexpr int failure = 1;
constexpr int misuse = 2;

constexpr const char* serviceAttribute = "service";
constexpr const char* accountAttribute = "account";
constexpr const char* serviceName = "com.corlune.track";

const SecretSchema* schema() {
    static const SecretSchema instance = [] {
        SecretSchema s{};
        s.name = serviceName;
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {serviceAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {accountAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &instance;
}

/// The secret passes through this buffer; it is wiped before the program ends.
struct Input {
    std::string bytes;
    ~Input() { explicit_bzero(bytes.data(), bytes.size()); }
};

bool readAll(int fd, std::string& out) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    explicit_bzero(buffer, sizeof buffer);
    return true;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void report(GError*& error) {
    if (error)
        std::fprintf(stderr, "corlune-track-keyring: %s\n", error->message);
    g_clear_error(&error);
}

int lookup(const std::string& account) {
    GError* error = nullptr;
    // The binary lookup: the text one would skip secrets whose content type is not text/plain.
    SecretValue* value = secret_password_lookup_binary_sync(
        schema(), nullptr, &error, serviceAttribute, serviceName, accountAttribute, account.c_str(), nullptr);
    report(error);
    if (!value)
        return failure;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    const bool written = writeAll(STDOUT_FILENO, bytes, length);
    secret_value_unref(value);
    return written ? success : failure;
}

int store(const std::string& account, const char* secret, std::size_t size) {
    const std::string label = "Corlune Track: " + account;
    GError* error = nullptr;
    // Delete then add, never update in place; a missing item is not an error.
    secret_password_clear_sync(schema(), nullptr, &error, serviceAttribute, serviceName, accountAttribute,
                               account.c_str(), nullptr);
    g_clear_error(&error);

    SecretValue* value = secret_value_new(secret, static_cast<gssize>(size), "text/plain");
    const gboolean stored = secret_password_store_binary_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value, nullptr, &error, serviceAttribute,
        serviceName, accountAttribute, account.c_str(), nullptr);
    secret_value_unref(value);
    report(error);
    return stored ? success : failure;
}

} // namespace

int main(int argc, char** argv) {
    // A store waiting on an unlock prompt must not outlive the program that asked; that program
    // also kills this one when its own bound has passed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);

    const std::string operation = argc == 2 ? argv[1] : "";
    if (operation != "lookup" && operation != "store") {
        std::fprintf(stderr, "usage: corlune-track-keyring lookup|store (account and secret on stdin)\n");
        return misuse;
    }
    Input input;
    if (!readAll(STDIN_FILENO, input.bytes))
        return misuse;

    const std::size_t end = input.bytes.find('\0');
    if (operation == "lookup") {
        // An attribute is a C string: an account with a NUL in it could only match another one.
        if (end != std::string::npos || input.bytes.empty())
            return misuse;
        return lookup(input.bytes);
    }
    if (end == std::string::npos || end == 0)
        return misuse;
    const std::string account = input.bytes.substr(0, end);
    return store(account, input.bytes.data() + end + 1, input.bytes.size() - end - 1);
}
