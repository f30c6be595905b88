// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes numbered PDF objects (object i+1 is objects[i], the first one the catalog) into a whole
// file with a correct cross-reference table, for tests that hand-make their PDFs.
#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

inline std::string pdfFromObjects(const std::vector<std::string>& objects, const std::string& trailerEntries = "") {
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (auto o : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        pdf += line;
    }
    return pdf + "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R " + trailerEntries +
           " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

}  // namespace testsupport
