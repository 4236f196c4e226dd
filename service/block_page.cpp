#include "service/block_page.h"

#include "account/category_table.h"
#include "account/site_entry.h"
#include "common/text.h"

namespace {

constexpr std::size_t kShownAddress = 300; // longer addresses are cut on the page

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = qm::ToLowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i]; // the address in it is not encoded: "+" stays
        }
    }
    return out;
}

std::string CategoryList(std::uint64_t mask) {
    std::string list;
    for (int bit = 0; bit < 64; ++bit) {
        if (!(mask & (std::uint64_t(1) << bit))) {
            continue;
        }
        std::string name(qm::TrimSpaces(CategoryName(bit)));
        if (name.empty()) {
            name = "category " + std::to_string(bit);
        }
        list += (list.empty() ? "" : ", ") + EscapeHtml(name);
    }
    return list;
}

std::string Reason(const std::optional<BlockedSite>& record) {
    if (!record) {
        return "The filter service has no record of blocking this site lately. While the "
               "filter service cannot be reached, every site is blocked to be safe: if it "
               "was just starting or has stopped, try the site again in a moment.";
    }
    switch (record->reason) {
    case BlockReason::DenyList:
        return "It is on the family's list of sites that may not be opened.";
    case BlockReason::Categories:
        return "The rating service puts it in categories that are blocked for you: <b>" +
               CategoryList(record->categories) + "</b>.";
    case BlockReason::NotRated:
        break;
    }
    return "It could not be rated: nobody is logged in to the filter, or the rating service "
           "could not be reached. Until it can be rated it stays blocked, to be safe.";
}

std::string Answer(std::string_view status, std::string_view body, bool withBody) {
    std::string answer = "HTTP/1.1 " + std::string(status) +
                         "\r\nContent-Type: text/html; charset=iso-8859-1"
                         "\r\nContent-Length: " +
                         std::to_string(body.size()) +
                         "\r\nCache-Control: no-store"
                         "\r\nContent-Security-Policy: default-src 'none'"
                         "\r\nX-Content-Type-Options: nosniff"
                         "\r\nConnection: close\r\n\r\n";
    if (withBody) {
        answer += body;
    }
    return answer;
}

} // namespace

std::string EscapeHtml(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '|':
            out += "&#124;";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) {
                out += c;
            }
        }
    }
    return out;
}

std::string BlockedHost(std::string_view site) {
    if (qm::StartsWithNoCase(site, "http://") || qm::StartsWithNoCase(site, "https://")) {
        std::string address(site);
        return qm::ToLower(CSiteEntry::AddressHost(address + "/"));
    }
    return qm::ToLower(site.substr(0, site.find('/')));
}

std::string BlockPageHtml(std::string_view site, const std::optional<BlockedSite>& record) {
    std::string host = BlockedHost(site);
    std::string shown(site.substr(0, kShownAddress));
    if (site.size() > kShownAddress) {
        shown += "...";
    }
    return "<html>\n<head><meta charset=\"iso-8859-1\"><title>Site blocked - Quellmark Family "
           "Filter</title></head>\n"
           "<body bgcolor=\"#f0f3fa\">\n"
           "<table width=\"100%\" cellpadding=\"8\" cellspacing=\"0\">\n"
           "<tr><td bgcolor=\"#4664a0\"><font face=\"Verdana, Arial\" color=\"#ffffff\" "
           "size=\"4\"><b>Quellmark Family Filter</b></font></td></tr>\n"
           "<tr><td>\n<font face=\"Verdana, Arial\" size=\"2\">\n"
           "<h3>This site has been blocked</h3>\n"
           "<p><font size=\"4\"><b id=\"site\">" +
           (host.empty() ? std::string("(no site named)") : EscapeHtml(host)) +
           "</b></font></p>\n<p id=\"reason\">" + Reason(record) +
           "</p>\n<p>If you think this site should be allowed, ask a parent: the family's "
           "settings can allow it.</p>\n"
           "<p><font size=\"1\" color=\"#606060\">Address: " +
           EscapeHtml(shown) + "</font></p>\n</font>\n</td></tr>\n</table>\n</body>\n</html>\n";
}

std::string BlockPageAnswer(std::string_view head, const CBlockedSites& sites) {
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    std::size_t space = line.find(' ');
    std::size_t last = line.rfind(' ');
    if (space == std::string_view::npos || last == space ||
        !line.substr(last + 1).starts_with("HTTP/1.")) {
        return {};
    }
    std::string_view method = line.substr(0, space);
    std::string_view target = line.substr(space + 1, last - space - 1);
    if ((method != "GET" && method != "HEAD") || target.empty() || target[0] != '/') {
        return {};
    }
    bool withBody = method == "GET";
    std::size_t query = target.find('?');
    if (target.substr(0, query) != "/") {
        return Answer("404 Not Found", "", withBody);
    }
    std::string site;
    if (query != std::string_view::npos && target.substr(query + 1).starts_with("site=")) {
        site = PercentDecoded(target.substr(query + 6));
        if (site.ends_with('/')) {
            site.pop_back(); // the redirect adds one "/" after the address
        }
    }
    std::string host = BlockedHost(site);
    std::optional<BlockedSite> record;
    if (!host.empty()) {
        record = sites.Find(host);
    }
    return Answer("200 OK", BlockPageHtml(site, record), withBody);
}
