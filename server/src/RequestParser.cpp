#include "RequestParser.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>

namespace corlune::server {

namespace http = boost::beast::http;

RequestParser::RequestParser(const Limits& limits)
    : maxFields(limits.maxFields) {
    header_limit(static_cast<std::uint32_t>(limits.maxHeaderBytes));
    body_limit(limits.maxBodyBytes);
}

void RequestParser::on_request_impl(http::verb, string_view methodText, string_view targetText,
                                    int httpVersion, error_code&) {
    method = std::string(methodText);
    target = std::string(targetText);
    version = httpVersion;
}

void RequestParser::on_field_impl(http::field name, string_view nameText, string_view value, error_code& ec) {
    if (++fields > maxFields) {
        ec = http::error::header_limit;
        return;
    }
    // Of a repeated header the first counts, as httplib's and most servers' lookups do.
    const auto keep = [&](std::string& into) {
        if (into.empty()) {
            into = std::string(value);
        }
    };
    if (name == http::field::content_type) {
        keep(contentType);
    } else if (name == http::field::authorization) {
        keep(authorization);
    } else if (name == http::field::content_encoding) {
        encoded = true;
    } else if (name == http::field::expect) {
        expectsContinue = boost::beast::iequals(value, "100-continue");
    } else if (name == http::field::unknown && boost::beast::iequals(nameText, "Idempotency-Key")) {
        keep(idempotencyKey);
    }
}

void RequestParser::on_body_init_impl(const boost::optional<std::uint64_t>& length, error_code&) {
    // The parser has already refused a length over the limit.
    if (length) {
        body.reserve(static_cast<std::size_t>(*length));
    }
}

std::size_t RequestParser::on_body_impl(string_view data, error_code&) {
    body.append(data.data(), data.size());
    return data.size();
}

std::size_t RequestParser::on_chunk_body_impl(std::uint64_t, string_view data, error_code&) {
    body.append(data.data(), data.size());
    return data.size();
}

} // namespace corlune::server
