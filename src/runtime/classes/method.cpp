#include "runtime/classes/method.hpp"

namespace quorin {

std::vector<PyMethodDef> method_table(std::initializer_list<const Method*> methods) {
    std::vector<PyMethodDef> table;
    table.reserve(methods.size() + 1);
    for (const Method* m : methods) table.push_back(m->def);
    table.push_back({nullptr, nullptr, 0, nullptr});
    return table;
}

}  // namespace quorin
