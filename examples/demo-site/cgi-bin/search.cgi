<html>
<head><title>Search results</title></head>
<body>
<h1>Boats found</h1>
<p><a href="/gallery/index.html">The harbour boat</a> &middot; <a href="/news/2024/harbour-day.html">Harbour day</a></p>
<p><img src="/gallery/harbour.jpg" alt="Harbour"></p>
</body>
</html>
