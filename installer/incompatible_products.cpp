#include "installer/incompatible_products.h"

#include "common/text.h"
#include "installer/catalog_installer.h"
#include "installer/catalog_snapshot.h"

namespace qm {

std::vector<IncompatibleProduct> IncompatibleProducts() {
    return {
        {"S4F_PROVIDER",
         "S4F/FamilyConnect - http://www.s4f-familyconnect.example (1-800-555-0141)"},
        {"WinSysAM Plugin", "WebBalanced - http://www.webbalanced.example (1-800-555-0142)"},
        {"Ashley Laurent CSSP Provider",
         "American Family Filter/BSafe - http://www.bsafe-filter.example (1-800-555-0143)"},
        {"New.net TCP Filter", "New.net - http://www.newnet-support.example (1-800-555-0144)"},
        {"webHancer", "WebHancer - http://www.webhancer-support.example (1-800-555-0145)"},
        {"BSafe Layered Service Provider",
         "American Family Filter/BSafe - http://www.bsafe-filter.example (1-800-555-0143)"},
        {"McAfee_GdLsp",
         "McAfee Internet Security - http://www.internet-security.example (1-800-555-0147)"},
        {"vMain", "Newton Knows - http://www.newtonknows.example"},
        {"SpamSubtract", "SpamSubtract - http://www.spamsubtract.example (1-800-555-0149)"},
        {"CommonName", "CommonName - http://www.commonname.example"},
        {"LAYERED_PROVIDER", "Unknown LSP - http://www.quellmark.example/support/faq.htm"},
        {"PCLSP", "MSN Parental Controls - http://www.parental-controls.example (1-800-555-0152)"},
        {"SAHAgent", "ShopAtHome/Golden Retriever - http://www.shopathome-help.example/faq.htm"},
    };
}

} // namespace qm

int CCatalogInstaller::scanCatalog() {
    std::vector<qm::IncompatibleProduct> table = qm::IncompatibleProducts();
    table.resize(std::min(table.size(), incompatibleRowCount()));
    std::string report;
    for (const auto& info : qm::EnumerateCatalog()) {
        std::string name = qm::ProtocolName(info);
        if (qm::EqualsNoCase(name, "Quellmark")) {
            return 1; // already installed: whatever was found so far is not shown
        }
        for (const auto& row : table) {
            if (qm::EqualsNoCase(name, row.protocolName)) {
                report += row.shownText + "\n";
            }
        }
    }
    if (report.empty()) {
        return 0;
    }
    reportIncompatible(report);
    return 2;
}
