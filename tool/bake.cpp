// The bake of one settings file arrives with the tool.
