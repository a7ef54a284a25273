#pragma once

#include <boost/beast/http/basic_parser.hpp>

#include <cstddef>
#include <string>

namespace corlune::server {

/// Reads one HTTP request, keeping only what the routes use: the method, the target, the few
/// headers the handlers read and the body. Nothing else of the header is stored, so a flood
/// of fields costs no memory; beyond `maxFields` fields the header is refused as too large.
class RequestParser final : public boost::beast::http::basic_parser<true> {
public:
    struct Limits {
        std::size_t maxHeaderBytes = 0;
        std::size_t maxFields = 0;
        std::size_t maxBodyBytes = 0;
    };

    explicit RequestParser(const Limits& limits);

    std::string method;
    std::string target;
    int version = 11;
    std::string contentType;
    std::string idempotencyKey;
    std::string authorization;
    std::string body;
    bool encoded = false;         ///< a Content-Encoding header came, whatever its value
    bool expectsContinue = false; ///< "Expect: 100-continue"

private:
    using error_code = boost::beast::error_code;
    using string_view = boost::beast::string_view;

    void on_request_impl(boost::beast::http::verb, string_view method, string_view target, int version,
                         error_code&) override;
    void on_response_impl(int, string_view, int, error_code&) override {}
    void on_field_impl(boost::beast::http::field name, string_view, string_view value,
                       error_code& ec) override;
    void on_header_impl(error_code&) override {}
    void on_body_init_impl(const boost::optional<std::uint64_t>& length, error_code&) override;
    std::size_t on_body_impl(string_view data, error_code&) override;
    void on_chunk_header_impl(std::uint64_t, string_view, error_code&) override {}
    std::size_t on_chunk_body_impl(std::uint64_t, string_view data, error_code&) override;
    void on_finish_impl(error_code&) override {}

    std::size_t maxFields = 0;
    std::size_t fields = 0;
};

} // namespace corlune::server
