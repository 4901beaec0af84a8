"""corvella.Error: what a member raises."""


class Error(Exception):
    """A member failed: number is what a script sees in Err.Number (signed 32-bit, -2147220504
    for the component's error 1000), source and description are Err.Source and Err.Description."""

    def __init__(self, number, source, description):
        super().__init__(number, source, description)
        self.number = number
        self.source = source
        self.description = description

    def __str__(self):
        return f"error {self.number} ({self.source}): {self.description}"
