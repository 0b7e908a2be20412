#include "convert.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa_bindings {

using namespace corvane::kelpa;

void bind_enums(nb::module_& m) {
    nb::enum_<EncoderType>(m, "PB_Encoder_type", "Encoding of general PB constraints; ADDER and BEST are built.")
        .value("BEST", EncoderType::BEST)
        .value("BDD", EncoderType::BDD)
        .value("SWC", EncoderType::SWC)
        .value("SORTINGNETWORKS", EncoderType::SORTINGNETWORKS)
        .value("ADDER", EncoderType::ADDER)
        .value("BINARY_MERGE", EncoderType::BINARY_MERGE);
    nb::enum_<Comparator>(m, "Comparator_type", "Weighted sum at most (LEQ), at least (GEQ) or equal to (BOTH) the bound.")
        .value("LEQ", Comparator::LEQ)
        .value("GEQ", Comparator::GEQ)
        .value("BOTH", Comparator::BOTH);
}

}  // namespace corvane::kelpa_bindings
