// Asio's and Beast's out-of-line functions, compiled once for the service and its tests
// instead of in every file that uses them.
#include <boost/asio/impl/src.hpp>
#include <boost/asio/ssl/impl/src.hpp>
#include <boost/beast/src.hpp>
