// Placeholder translation unit until the evaluator lands.
